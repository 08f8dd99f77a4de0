#!/usr/bin/env bash
# Builds lumora_<version>_amd64.deb from this checkout (as root on Debian 12,
# or with sudo): installs what the build needs, builds only the programs from
# a copy of the tracked files, checks the package with lintian and leaves it,
# with lintian's report, in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
bash scripts/install-deps.sh
need=()
for p in debhelper dpkg-dev fakeroot lintian appstream git; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ "${#need[@]}" -gt 0 ]; then
  $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi
dpkg-checkbuilddeps
appstreamcli validate --no-net resources/com.quorvane.Lumora.metainfo.xml

# A fixed place, so that a compiler cache (when there is one) finds its work again.
work=${LUMORA_DEB_WORK:-/tmp/lumora-deb-build}
rm -rf "$work"
mkdir -p "$work/lumora"
git ls-files -z | xargs -0 tar -cf - | tar -xf - -C "$work/lumora"
if [ -d /usr/lib/ccache ]; then export PATH=/usr/lib/ccache:$PATH; fi
(cd "$work/lumora" && DEB_BUILD_OPTIONS="nocheck parallel=${JOBS:-2}" dpkg-buildpackage -b -us -uc)

mkdir -p dist
deb=$(ls "$work"/lumora_*_amd64.deb)
cp "$deb" dist/
deb=dist/$(basename "$deb")
status=0
lintian --fail-on error --info "$deb" > dist/lintian.txt 2>&1 || status=$?
cat dist/lintian.txt
rm -rf "$work"
if [ "$status" -ne 0 ]; then
  echo "lintian found errors in $deb (dist/lintian.txt)" >&2
  exit 1
fi
echo "built $top/$deb"
