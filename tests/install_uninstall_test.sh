#!/usr/bin/env bash
# Installs the build into a prefix and (as a package build does) with DESTDIR,
# runs the installed programs, uninstalls, and checks that nothing is left
# but the folders that were there before. Usage: install_uninstall_test.sh BUILD SOURCE
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
saved=()
# The developer's own manifest stays as it was.
for f in install_manifest.txt install_created_dirs.txt; do
  if [ -e "$build/$f" ]; then mv "$build/$f" "$work/$f.saved"; saved+=("$f"); fi
done
cleanup() {
  for f in "${saved[@]}"; do mv "$work/$f.saved" "$build/$f"; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
tree() { (cd "$1" && find . | LC_ALL=C sort); }

# --- into a prefix that already holds another program's entry
prefix=$work/prefix
mkdir -p "$prefix/bin" "$prefix/share/applications"
printf '[Desktop Entry]\nType=Application\nName=Other\nExec=true %%f\nMimeType=image/png;\n' \
  > "$prefix/share/applications/other.desktop"
update-desktop-database -q "$prefix/share/applications"
before=$(tree "$prefix")
cmake --install "$build" --prefix "$prefix" --strip > "$work/install.log"
manifest=$build/install_manifest.txt
for f in bin/lumora bin/lumora-convert lib/lumora/lumora lib/lumora/lumora-convert \
         share/applications/lumora.desktop share/metainfo/com.quorvane.Lumora.metainfo.xml \
         share/man/man1/lumora.1 share/man/man1/lumora-convert.1 \
         share/icons/hicolor/scalable/apps/lumora.svg share/mime/packages/lumora.xml; do
  grep -qx "$prefix/$f" "$manifest" || fail "$f is not in install_manifest.txt"
done
# The decoder programs, where the build makes them, live beside lumora.
for p in lumora-loader lumora-loader-emf; do
  if [ -x "$build/bin/$p" ]; then
    grep -qx "$prefix/lib/lumora/$p" "$manifest" || fail "$p is not installed"
  fi
done
while read -r f; do
  [ -e "$f" ] || [ -L "$f" ] || fail "listed but not installed: $f"
done < "$manifest"
[ "$(readlink "$prefix/bin/lumora")" = ../lib/lumora/lumora ] || fail "bin/lumora is no relative link"
for p in "$prefix"/lib/lumora/lumora*; do
  if readelf -S "$p" | grep -q '\.debug_info'; then fail "$p is not stripped"; fi
done
grep -q '^Exec=lumora %f$' "$prefix/share/applications/lumora.desktop" || fail "Exec line"
grep -q 'image/png=.*lumora.desktop' "$prefix/share/applications/mimeinfo.cache" || fail "cache"

# Run what was installed, as a user whose desktop finds the prefix.
home=$work/home
mkdir -p "$home" "$work/run"
chmod 700 "$work/run"
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share
export XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$work/run XDG_CONFIG_DIRS=$work/etc-xdg
export XDG_DATA_DIRS=$prefix/share:/usr/share XDG_CURRENT_DESKTOP=X-Generic
export QT_QPA_PLATFORM=offscreen PATH=$prefix/bin:$PATH
unset LUMORA_REGISTRY
# The machine's administrator chose PNG's program.
mkdir -p "$XDG_CONFIG_DIRS"
printf '[Default Applications]\nimage/png=other.desktop;\n' > "$XDG_CONFIG_DIRS/mimeapps.list"
"$prefix/bin/lumora-convert" --identify "$source/resources/samples/"*.png > "$work/identify.txt" \
  || fail "the installed lumora-convert does not run"
grep -qi png "$work/identify.txt" || fail "lumora-convert --identify said: $(cat "$work/identify.txt")"
[ "$(xdg-mime query default image/png)" = other.desktop ] || fail "the sandbox's default"
timeout 120 "$prefix/bin/lumora" /Associate || fail "lumora /Associate"
[ "$(xdg-mime query default image/png)" = lumora.desktop ] || fail "/Associate did not take PNG"
[ "$(gio mime image/png | head -1 | sed "s/.*: //")" = lumora.desktop ] \
  || fail "gio: $(gio mime image/png | head -1)"
[ ! -e "$XDG_DATA_HOME/applications/lumora.desktop" ] \
  || fail "the installed program wrote a desktop entry of its own"
timeout 120 "$prefix/bin/lumora" /DeAssociate || fail "lumora /DeAssociate"
[ "$(xdg-mime query default image/png)" = other.desktop ] || fail "/DeAssociate did not give PNG back"
! grep -rq lumora "$XDG_CONFIG_HOME/mimeapps.list" || fail "mimeapps.list still names lumora"

cmake --build "$build" --target uninstall > "$work/uninstall.log"
after=$(tree "$prefix")
[ "$before" = "$after" ] || { diff <(echo "$before") <(echo "$after") >&2; fail "left after uninstall (prefix)"; }
[ ! -e "$manifest" ] || fail "the manifest outlived the uninstall"

# --- staged with DESTDIR, as a package build does: no caches are built
stage=$work/stage
mkdir -p "$stage"
DESTDIR=$stage cmake --install "$build" --prefix /usr > "$work/install-stage.log"
grep -qx "/usr/bin/lumora" "$manifest" || fail "DESTDIR manifest"
[ ! -e "$stage/usr/share/applications/mimeinfo.cache" ] || fail "a staged install built caches"
"$stage/usr/bin/lumora-convert" --help > /dev/null || fail "the staged lumora-convert does not run"
DESTDIR=$stage cmake --build "$build" --target uninstall > "$work/uninstall-stage.log"
[ "$(tree "$stage")" = "." ] || { tree "$stage" >&2; fail "left after uninstall (DESTDIR)"; }
echo "install and uninstall leave nothing behind"
