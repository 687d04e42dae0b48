#!/usr/bin/env bash
# The installer loads no DLL planted beside it: its imports (objdump) are only KnownDLLs, and the
# DLLs it once imported, planted beside it and preferred by Wine (=n,b, as Windows looks beside the
# exe first), stay unloaded through --status and a few seconds of its window; a control exe that
# imports two of them loads them. Wine's own user32 imports version.dll (Windows' does not), so a
# planted version.dll is loaded by Wine itself: that is reported, not held against the exe.
#
#   planted_dll.sh PREFIX INSTALLER.exe CONTROL.exe MARKER.dll
set -euo pipefail

prefix=$1
installer=$2
control=$3
marker_dll=$4 here=$(dirname "$0")

fail() { echo "FAILED: $*" >&2; exit 1; }
# loaded FOLDER NAME: the planted NAME.dll left its marker there (named as the loader named it).
loaded() { [ -n "$(find "$1" -maxdepth 1 -iname "$2.dll.loaded")" ]; }

# Windows 10 and 11's KnownDLLs (always taken from System32), and ntdll.
known="advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 kernelbase msctf msvcrt
       normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32"
imports=$(x86_64-w64-mingw32-objdump -p "$installer" | awk '/DLL Name:/ { print tolower($3) }')
[ -n "$imports" ] || fail "objdump found no imports in $installer"
for dll in $imports; do
    grep -qw "${dll%.dll}" <<<"$known" || fail "$installer imports $dll at load time, which is no KnownDLL"
done
echo "load-time imports, all KnownDLLs: $(echo $imports)"

planted=(version winmm wininet wsock32 dxgi rstrtmgr)
folder="$prefix/drive_c/users/Public/Downloads/planted"
rm -rf "$folder" && mkdir -p "$folder/installer" "$folder/control"
cp "$installer" "$folder/installer/tw_installer.exe"
cp "$control" "$folder/control/control.exe"
overrides=""
for name in "${planted[@]}"; do
    cp "$marker_dll" "$folder/installer/$name.dll"
    cp "$marker_dll" "$folder/control/$name.dll"
    overrides+="${overrides:+;}$name=n,b"
done
export WINEDLLOVERRIDES=$overrides

"$here/wine-run.sh" "$prefix" "$folder/control/control.exe" >/dev/null 2>&1 || true
loaded "$folder/control" version && loaded "$folder/control" winmm \
    || fail "the control exe did not load the planted version.dll and winmm.dll: the test shows nothing"

"$here/wine-run.sh" "$prefix" "$folder/installer/tw_installer.exe" --status >"$folder/status.txt" 2>&1 \
    || fail "tw_installer.exe --status failed: $(cat "$folder/status.txt")"
[ "$(wc -l <"$folder/status.txt")" = 3 ] || fail "--status printed: $(cat "$folder/status.txt")"

# The window calls into the delay-loaded winmm and dxgi.
if command -v xvfb-run >/dev/null; then
    timeout 20 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '"$0" "$1" "$2" & sleep 8; kill $! 2>/dev/null; true' \
        "$here/wine-run.sh" "$prefix" "$folder/installer/tw_installer.exe" >"$folder/display.log" 2>&1 || true
    WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
fi

wines_user32_imports=$(x86_64-w64-mingw32-objdump -p /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/user32.dll 2>/dev/null || true)
for name in "${planted[@]}"; do
    if loaded "$folder/installer" "$name"; then
        if [ "$name" = version ] && grep -qi "DLL Name: version.dll" <<<"$wines_user32_imports"; then
            echo "version.dll was loaded, by Wine's own user32 (which imports it; Windows' does not)"
            continue
        fi
        fail "tw_installer.exe loaded the $name.dll planted beside it"
    fi
done
echo "the control loaded the planted DLLs; tw_installer.exe (--status, then its window) loaded none of winmm, wininet, wsock32, dxgi, rstrtmgr"
rm -rf "$folder"
