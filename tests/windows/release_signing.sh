#!/usr/bin/env bash
# scripts/release with a throwaway self-signed code-signing certificate: the signed exe verifies
# against that certificate and no other, is the exe built with that certificate as its publisher plus
# its signature, and matches its SHA256SUMS; a timestamp from an authority on 127.0.0.1 verifies
# against that authority's certificate, and one that answers garbage or nothing fails the release;
# without --sign the exe is the built one, unsigned; bad input writes nothing. The bill of materials
# and the notices beside each exe are checked (check_sbom.py; the notices are the text the exe shows
# in its licence panel), and the winget manifest beside each is valid against winget's schemas (from
# ../shared/winget-schemas beside the repository) and names the exe's SHA-256 and the download
# address given with --url, or a placeholder.
#
#   release_signing.sh WORK_FOLDER BUILT_EXE
#
# WORK_FOLDER is emptied; WORK_FOLDER/signed/tw_installer.exe stays for the checks that follow
# (resources, the run under Wine).
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 WORK_FOLDER BUILT_EXE" >&2
    exit 2
fi

fail() { echo "FAILED: $*" >&2; exit 1; }

repository=$(cd "$(dirname "$0")/../.." && pwd)
release=$repository/scripts/release
check_manifest=$repository/tests/windows/check_winget_manifest.py
check_sbom=$repository/tests/windows/check_sbom.py
spdx_schema=$repository/../shared/spdx-schema/spdx-schema-2.3.json
winget_schemas=$repository/../shared/winget-schemas
[ -f "$winget_schemas/manifest.installer.1.10.0.json" ] || fail "winget's schemas are not in $winget_schemas"
work=$1
built=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

# certificate NAME: NAME.pem and NAME.pfx, protected by the password in password.txt.
certificate() {
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=tw_installer test signer $1" \
        -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
        -keyout "$1.key" -out "$1.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -passout file:password.txt -out "$1.pfx"
}
echo "a throwaway password" >password.txt
echo "not the password" >wrong-password.txt
certificate signer
certificate stranger

# A release: exits 0, and its SHA256SUMS names the exe beside it with the right digest.
run_release() { # run_release LOG ARGUMENTS...
    local log=$1
    shift
    "$release" "$@" >"$log" 2>&1 || { cat "$log" >&2; fail "scripts/release $* failed"; }
    local out=${*: -1}
    [ "$(cut -d ' ' -f 3 "$out/SHA256SUMS" | tr '\n' ' ')" = "tw_installer.exe tw_installer.spdx.json THIRD-PARTY-NOTICES.txt " ] \
        || fail "$out/SHA256SUMS does not name the exe, the bill of materials and the notices"
    for notice in "based in part on the work of the Independent JPEG Group" "SIL OPEN FONT LICENSE Version 1.1" \
        "JUCE 7 licence that Tarnwick holds" "libpng (" "zlib (" "MinGW-w64 runtime (" "libstdc++ ("; do
        grep -qF "$notice" "$out/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt lacks '$notice'"
    done
    (cd "$out" && sha256sum --quiet -c SHA256SUMS) || fail "$out/SHA256SUMS does not match the exe"
}

#==================================================================================================
# Signed.

download_url=https://downloads.example.com/morvane4/4.0.2/tw_installer.exe
run_release signed.log --sign signer.pfx --password-file password.txt --no-timestamp --url "$download_url" signed
grep -q "signed with signer.pfx, NOT time-stamped (--no-timestamp)" signed.log || fail "the release does not say it signed ($(tail -n 1 signed.log))"
# The exe names its publisher, the signing certificate's SHA-256, and the release says which.
publisher=$(openssl x509 -in signer.pem -outform DER | sha256sum | cut -d ' ' -f 1)
grep -q "publisher (TW_PUBLISHER_SHA256, the signing certificate's SHA-256): $publisher$" signed.log \
    || fail "the release does not name the publisher $publisher: $(cat signed.log)"
built_with_publisher=$repository/build-windows-publisher/source/tw_installer_artefacts/Release/tw_installer.exe
grep -qaF "$publisher" "$built_with_publisher" || fail "the exe built for signing does not carry the publisher"
! grep -qaF "$publisher" "$built" || fail "the exe built without --sign carries the publisher"
osslsigncode verify -CAfile signer.pem -in signed/tw_installer.exe >verify.log 2>&1 \
    || { cat verify.log >&2; fail "the signature does not verify against the signing certificate"; }
grep -q "^Signature verification: ok" verify.log || fail "osslsigncode did not report a verified signature"
grep -q "^Message digest algorithm  : SHA256" verify.log || fail "the signature's digest is not SHA-256"
if osslsigncode verify -CAfile stranger.pem -in signed/tw_installer.exe >/dev/null 2>&1; then
    fail "the signature verifies against a certificate that did not sign it"
fi
osslsigncode remove-signature -in signed/tw_installer.exe -out without-signature.exe >/dev/null
cmp without-signature.exe "$built_with_publisher" || fail "without its signature, the signed exe is not the one built for it"
echo "signed: verified against the signing certificate (SHA-256), not against another; the exe built with its publisher plus a signature"
/usr/bin/python3 "$check_manifest" signed/winget "$winget_schemas" signed/tw_installer.exe "$download_url"
/usr/bin/python3 "$check_sbom" signed/tw_installer.spdx.json "$spdx_schema" signed/tw_installer.exe "${built_with_publisher%.exe}.map" signed/THIRD-PARTY-NOTICES.txt

#==================================================================================================
# Time-stamped by an authority on 127.0.0.1 (timestamp_authority.py), whose certificate the timestamp
# verifies against; an authority that answers garbage, or nothing, fails the release, which writes nothing.

mkdir tsa && echo 01 >tsa/serial
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=tw_installer test time-stamping authority" \
    -addext "extendedKeyUsage=critical,timeStamping" -keyout tsa/tsa.key -out tsa/tsa.pem 2>/dev/null
printf '%s\n' "[tsa]" "default_tsa = test" "[test]" "serial = ./serial" "signer_cert = ./tsa.pem" "signer_key = ./tsa.key" \
    "signer_digest = sha256" "default_policy = 1.2.3.4.1" "digests = sha256" "ess_cert_id_alg = sha256" >tsa/ts.cnf
trap '[ -z "${authority:-}" ] || kill "$authority" 2>/dev/null || true' EXIT
for mode in answer garbage nothing; do
    rm -f tsa/port
    /usr/bin/python3 "$repository/tests/windows/timestamp_authority.py" tsa "$mode" 2>/dev/null &
    authority=$!
    for _ in $(seq 100); do [ -f tsa/port ] && break; sleep 0.1; done
    url=http://127.0.0.1:$(cat tsa/port)/
    status=0
    "$release" --sign signer.pfx --password-file password.txt --timestamp "$url" "stamped-$mode" >stamped.log 2>&1 || status=$?
    kill "$authority" && authority=""
    if [ "$mode" = answer ]; then
        [ $status = 0 ] && grep -q "time-stamped by $url" stamped.log || { cat stamped.log >&2; fail "the time-stamped release failed"; }
        osslsigncode verify -CAfile signer.pem -TSA-CAfile tsa/tsa.pem -in stamped-answer/tw_installer.exe >verify.log 2>&1 \
            && grep -q "^Timestamp Server Signature verification: ok" verify.log || { cat verify.log >&2; fail "the timestamp does not verify"; }
    else
        [ $status != 0 ] && [ -z "$(ls -A "stamped-$mode")" ] || fail "an authority that answers $mode: exit $status, $(ls -A "stamped-$mode")"
    fi
done
echo "time-stamped: verified against the authority's certificate; garbage or no answer fails the release, which writes nothing"

#==================================================================================================
# Unsigned.

run_release unsigned.log unsigned
grep -q "NOT signed" unsigned.log || fail "the release does not say the exe is unsigned ($(tail -n 1 unsigned.log))"
cmp unsigned/tw_installer.exe "$built" || fail "the unsigned release is not the built exe"
/usr/bin/python3 "$check_sbom" unsigned/tw_installer.spdx.json "$spdx_schema" unsigned/tw_installer.exe "${built%.exe}.map" unsigned/THIRD-PARTY-NOTICES.txt
# The same exe gives the same bill of materials, byte for byte.
run_release again.log unsigned-again
cmp unsigned/tw_installer.spdx.json unsigned-again/tw_installer.spdx.json || fail "a second release of the same exe gave another bill of materials"
if osslsigncode verify -CAfile signer.pem -in unsigned/tw_installer.exe >/dev/null 2>&1; then
    fail "the unsigned release carries a signature"
fi
echo "unsigned: the built exe, said to be unsigned"
placeholder=https://download.invalid/fill-in-the-download-address/tw_installer.exe
/usr/bin/python3 "$check_manifest" unsigned/winget "$winget_schemas" unsigned/tw_installer.exe "$placeholder"
grep -q "warning: the winget manifest's InstallerUrl is a placeholder" unsigned.log || fail "the release does not say the InstallerUrl must be filled in"

#==================================================================================================
# Bad input: refused with a reason, and the earlier release in the folder is left as it was.

sha256sum signed/tw_installer.exe signed/tw_installer.spdx.json signed/THIRD-PARTY-NOTICES.txt signed/SHA256SUMS signed/winget/* >before.txt
refused=(
    "cannot read the certificate|--sign missing.pfx --no-timestamp signed"
    "go with --sign|--password-file password.txt signed"
    "go with --sign|--no-timestamp signed"
    "needs --timestamp URL or --no-timestamp|--sign signer.pfx --password-file password.txt signed"
    "usage:|--sign"
    "usage:|--unknown signed"
    "--url needs an https:// address|--url http://downloads.example.com/tw_installer.exe signed"
    "cannot read the signing certificate|--sign signer.pfx --password-file wrong-password.txt --no-timestamp signed"
    "signing failed|--sign signer.pfx --password-file password.txt --timestamp http://127.0.0.1:9/ signed"
)
for case in "${refused[@]}"; do
    reason=${case%%|*}
    read -r -a arguments <<<"${case#*|}"
    if "$release" "${arguments[@]}" >refused.log 2>&1; then
        fail "scripts/release ${arguments[*]} succeeded"
    fi
    grep -q -- "$reason" refused.log || { cat refused.log >&2; fail "scripts/release ${arguments[*]} did not say '$reason'"; }
    sha256sum --quiet -c before.txt || fail "scripts/release ${arguments[*]} changed the earlier release"
    [ -z "$(find signed -mindepth 1 -maxdepth 1 ! -name tw_installer.exe ! -name tw_installer.spdx.json ! -name THIRD-PARTY-NOTICES.txt ! -name SHA256SUMS ! -name winget)" ] \
        || fail "scripts/release ${arguments[*]} left files behind in signed/"
done
echo "refused: ${#refused[@]} kinds of bad input, the earlier release untouched"
