#!/usr/bin/env bash
# Installs a built package with apt (as root), checks what a user of it gets,
# removes it and checks that nothing of it is left in /usr or in that user's
# home. Usage: scripts/check-deb.sh dist/lumora_VERSION_amd64.deb
set -euo pipefail
deb=$(readlink -f "${1:?usage: check-deb.sh dist/lumora_VERSION_amd64.deb}")
cd "$(dirname "$0")/.."
user=${LUMORA_TEST_USER:-lumoradeb}
fail() { echo "FAIL: $*" >&2; exit 1; }
# A fresh account each time, so its home shows only what this run did.
if id "$user" > /dev/null 2>&1; then pkill -u "$user" || true; sleep 1; userdel -r "$user"; fi
useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
cp resources/samples/*.png "$home/" 2> /dev/null || true
png=$(ls "$home"/*.png | head -1)
chown "$user" "$png"
as_user() {
  runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin USER="$user" \
    XDG_RUNTIME_DIR="/tmp/$user-run" QT_QPA_PLATFORM=offscreen "$@"
}
mkdir -p "/tmp/$user-run" && chown "$user" "/tmp/$user-run" && chmod 700 "/tmp/$user-run"
snapshot() { (cd "$home" && find . -path ./.cache -prune -o -print | LC_ALL=C sort; \
  [ -f .config/mimeapps.list ] && md5sum .config/mimeapps.list) || true; }
home_before=$(snapshot)
echo "before: xdg-open would start $(as_user xdg-mime query default image/png)"

DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
dpkg -L lumora > /tmp/lumora-files.txt
echo "installed $(wc -l < /tmp/lumora-files.txt) paths"
which_app=$(as_user xdg-mime query default image/png)
echo "after install: xdg-open $png would start $which_app"

# Today's formats decode with the libraries the package depends on: one
# photo in each, made by that format's own encoder.
today=$(mktemp -d)
cwebp -quiet "$png" -o "$today/p.webp"
heif-enc -q 80 "$png" -o "$today/p.heic" > /dev/null
avifenc -s 8 "$png" "$today/p.avif" > /dev/null
cjxl --quiet "$png" "$today/p.jxl"
chmod -R a+rX "$today"
for f in p.webp p.heic p.avif p.jxl; do
  line=$(as_user lumora-convert --identify "$today/$f") || fail "lumora-convert cannot read $f"
  echo "read: $line"
done
rm -rf "$today"

# The user's first start claims the types; xdg-open then starts Lumora.
as_user timeout 120 lumora /Associate
app=$(as_user xdg-mime query default image/png)
[ "$app" = lumora.desktop ] || fail "after /Associate the default is $app"
exec_line=$(grep '^Exec=' /usr/share/applications/lumora.desktop)
program=$(readlink -f "$(command -v "$(echo "${exec_line#Exec=}" | cut -d' ' -f1)")")
echo "after /Associate: xdg-open $png starts $app: $exec_line -> $program"
[ "$program" = /usr/lib/lumora/lumora ] || fail "the entry starts $program"
[ ! -e "$home/.local/share/applications/lumora.desktop" ] || fail "a user copy of the entry was written"
# And it really opens: the viewer starts on the file (no display needed).
# xdg-open asks the desktop only when there is a display (Lumora itself runs
# offscreen, so none needs to be there).
as_user DISPLAY=${LUMORA_TEST_DISPLAY:-:16} timeout 20 xdg-open "$png" &
sleep 8
pgrep -u "$user" -a -x lumora || fail "xdg-open started no Lumora"
[ "$(readlink -f "/proc/$(pgrep -u "$user" -x lumora | head -1)/exe")" = /usr/lib/lumora/lumora ] \
  || fail "the program started is not /usr/lib/lumora/lumora"
pkill -u "$user" -x lumora || true
wait || true
as_user timeout 120 lumora /DeAssociate
echo "after /DeAssociate: xdg-open would start $(as_user xdg-mime query default image/png)"

DEBIAN_FRONTEND=noninteractive apt-get purge -y lumora
left=0
while read -r f; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then echo "left: $f"; left=1; fi
  if [ -d "$f" ] && [[ "$f" == *lumora* ]]; then echo "left folder: $f"; left=1; fi
done < /tmp/lumora-files.txt
found=$(find /usr -name '*lumora*' 2> /dev/null || true)
[ -z "$found" ] || { echo "$found"; left=1; }
grep -rl lumora /usr/share/applications/mimeinfo.cache /usr/share/mime/globs2 2> /dev/null && left=1
home_after=$(snapshot)
echo "home of $user, what Lumora changed:"
diff <(echo "$home_before") <(echo "$home_after") || true
grep -s lumora "$home/.config/mimeapps.list" && left=1
[ ! -e "$home/.local/share/applications/lumora.desktop" ] || left=1
[ "$left" -eq 0 ] || fail "something of Lumora was left"
echo "nothing of Lumora is left in /usr; the user's mimeapps.list names it nowhere"
