#!/usr/bin/env bash
# Builds tw_installer.exe a second time, from a copy of the sources in another folder and with no
# compiler cache, and compares it byte for byte with the exe of the first build.
#
#   same_exe_elsewhere.sh WORK_FOLDER SOURCE_FOLDER BUILD_FOLDER
#
# SOURCE_FOLDER's files that git knows (or that are new and not ignored) are copied into
# WORK_FOLDER, under a name of another length; BUILD_FOLDER is the first build's folder (preset
# "windows", with its publisher value), whose exe is compared and whose cross-built libraries
# (mingw-deps) are reused. The copy is built with the same preset and publisher value, minutes
# after the first build. WORK_FOLDER is emptied, and
# removed again when the exes are the same.
#
# Exits 0 when the two exes are the same, 1 when they differ or the second build fails.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 WORK_FOLDER SOURCE_FOLDER BUILD_FOLDER" >&2
    exit 2
fi

fail() { echo "FAILED: $*" >&2; exit 1; }

work=$1
source_folder=$(cd "$2" && pwd)
build_folder=$(cd "$3" && pwd)
exe_in_build=source/tw_installer_artefacts/Release/tw_installer.exe
first=$build_folder/$exe_in_build
[ -f "$first" ] || fail "the first build made no $first"
[ -f "$build_folder/mingw-deps/.complete" ] || fail "$build_folder has no cross-built libraries"

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
copy=$work/second-build-of-tw_installer
mkdir -p "$copy/build-windows"

# (Files deleted but not yet committed are named by git and skipped by tar.)
git -C "$source_folder" ls-files -z --cached --others --exclude-standard \
    | tar -C "$source_folder" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$copy" -xf -
[ -f "$copy/CMakePresets.json" ] || fail "the sources were not copied into $copy"
cp -a "$build_folder/mingw-deps" "$copy/build-windows/"

# Without the cache every object is compiled anew in the new folder: a cached object would carry
# the first build's paths and times and hide them.
export CCACHE_DISABLE=1
start=$SECONDS
publisher=$(sed -n 's/^TW_PUBLISHER_SHA256:STRING=//p' "$build_folder/CMakeCache.txt")
(cd "$copy" && cmake --preset windows -DTW_PUBLISHER_SHA256="$publisher" && cmake --build --preset windows --target tw_installer) \
    >"$work/build.log" 2>&1 || { tail -n 30 "$work/build.log" >&2; fail "the second build failed (log: $work/build.log)"; }
echo "second build in $copy: $((SECONDS - start)) s"

second=$copy/build-windows/$exe_in_build
if cmp -s "$first" "$second"; then
    echo "the same $(stat -c %s "$first") bytes, sha256 $(sha256sum <"$first" | cut -d ' ' -f 1)"
    rm -rf "$work"
    exit 0
fi

echo "$first and $second differ in $(cmp -l "$first" "$second" | wc -l) bytes:" >&2
cmp -l "$first" "$second" | head -n 20 >&2 || true
diff <(x86_64-w64-mingw32-objdump -p "$first" | sed -n '/^Time/,/^CheckSum/p') \
    <(x86_64-w64-mingw32-objdump -p "$second" | sed -n '/^Time/,/^CheckSum/p') >&2 || true
fail "the exe built in another folder is not the same (both kept in $work and $build_folder)"
