#!/usr/bin/env bash
# scripts/release --sign with a time-stamping authority on 127.0.0.1 (timestamp_authority.py, a
# test authority certificate): the signed exe's timestamp verifies against that authority's
# certificate; an authority that answers garbage, or nothing, fails the release with nothing
# written into its output folder; --sign without --timestamp or --no-timestamp is refused.
#
#   release_timestamp.sh WORK_FOLDER
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 WORK_FOLDER" >&2; exit 2; }
fail() { echo "FAILED: $*" >&2; exit 1; }

here=$(cd "$(dirname "$0")" && pwd)
release=$here/../../scripts/release
work=$1
rm -rf "$work" && mkdir -p "$work/tsa"
cd "$work"
server=""
trap '[ -z "$server" ] || kill "$server" 2>/dev/null' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=tw_installer test signer" -addext extendedKeyUsage=codeSigning \
    -keyout signer.key -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout pass: -out signer.pfx
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=tw_installer test time-stamping authority" \
    -addext "extendedKeyUsage=critical,timeStamping" -keyout tsa/tsa.key -out tsa/tsa.pem 2>/dev/null
echo 01 >tsa/serial
cat >tsa/ts.cnf <<'CNF'
[ tsa ]
default_tsa = test_tsa
[ test_tsa ]
serial = ./serial
signer_cert = ./tsa.pem
signer_key = ./tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
CNF

authority() { # authority MODE: serves in the background; its address in $url
    [ -z "$server" ] || { kill "$server"; wait "$server" 2>/dev/null || true; }
    rm -f tsa/port
    /usr/bin/python3 "$here/timestamp_authority.py" tsa "$1" &
    server=$!
    for _ in $(seq 100); do [ -f tsa/port ] && break; sleep 0.1; done
    [ -f tsa/port ] || fail "the time-stamping authority did not start"
    url=http://127.0.0.1:$(cat tsa/port)/
}

authority answer
"$release" --sign signer.pfx --timestamp "$url" stamped >stamped.log 2>&1 || { cat stamped.log >&2; fail "the release with a timestamp failed"; }
grep -q "time-stamped by $url" stamped.log || fail "the release does not say it is time-stamped: $(tail -n 3 stamped.log)"
osslsigncode verify -CAfile signer.pem -TSA-CAfile tsa/tsa.pem -in stamped/tw_installer.exe >verify.log 2>&1 \
    || { cat verify.log >&2; fail "the signature or its timestamp does not verify"; }
grep -q "^Timestamp Server Signature verification: ok" verify.log || fail "osslsigncode verified no timestamp: $(cat verify.log)"
echo "time-stamped by the authority on 127.0.0.1: the signature and its timestamp verify against their certificates"

for mode in garbage nothing; do
    authority "$mode"
    if "$release" --sign signer.pfx --timestamp "$url" "$mode" >"$mode.log" 2>&1; then
        fail "the release succeeded with an authority that answers $mode"
    fi
    [ -z "$(ls -A "$mode")" ] || fail "an authority that answers $mode left files in the output folder: $(ls -A "$mode")"
    echo "an authority that answers $mode: the release fails, its output folder stays empty"
done

if "$release" --sign signer.pfx refused >refused.log 2>&1 || ! grep -q -- "--timestamp URL or --no-timestamp" refused.log; then
    fail "--sign without --timestamp or --no-timestamp was not refused: $(cat refused.log)"
fi
echo "--sign without --timestamp or --no-timestamp: refused"
