#!/bin/sh
# Builds the .deb from the build tree and holds it to Debian's rules: lintian
# finds no error, the AppStream file validates, and the package carries the
# programs, their manual pages and the metainfo file, and depends on the Qt
# SQL driver of the default site book (loaded at run time, so not derived).
#   check-deb.sh BUILD_DIR SCRATCH_DIR PROGRAM...
set -eu
build=$1 scratch=$2
shift 2
rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$scratch" && cpack -B "$scratch" --config "$build/CPackConfig.cmake" -G DEB >cpack.log 2>&1) || {
    cat "$scratch/cpack.log"; exit 1; }
deb=$(ls "$scratch"/*.deb)
contents=$(dpkg-deb --contents "$deb")
status=0
for f in "$@"; do
    for path in "./usr/bin/$f" "./usr/share/man/man1/$f.1.gz"; do
        echo "$contents" | grep -q " $path\$" || { echo "not in the package: $path"; status=1; }
    done
done
echo "$contents" | grep -q " ./usr/share/metainfo/quelmar-setup.metainfo.xml\$" \
    || { echo "not in the package: the metainfo file"; status=1; }
dpkg-deb --field "$deb" Depends | tr ',' '\n' | grep -q '^ *libqt6sql6-sqlite\b' \
    || { echo "Depends lacks libqt6sql6-sqlite: $(dpkg-deb --field "$deb" Depends)"; status=1; }
dpkg-deb -x "$deb" "$scratch/root"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/quelmar-setup.metainfo.xml" || status=1
# Errors fail; warnings are listed for the record.
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.txt" 2>&1 || true
cat "$scratch/lintian.txt"
if grep -q '^E: ' "$scratch/lintian.txt"; then
    status=1
fi
rm -rf "$scratch"
exit $status
