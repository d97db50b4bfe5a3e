#!/bin/bash
# sign_test.sh WORKDIR PACK PROGRAM ROSTER: varnholt-pack --sign signs a
# packed Windows program with Authenticode (SHA-256). A throwaway CA and a
# code-signing certificate under it are made with openssl; the signed
# program verifies against that CA, and fails once one byte changes. A
# signed program packed again is signed once, its old signature gone.
set -euo pipefail
work=$1 pack=$2 program=$3 roster=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work"
head -n 4 "$roster" >roster.tsv  # a few records: the sealing is not what is tested
roster=roster.tsv

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Test Office CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout office.key -out office.csr -subj "/CN=Test Office" 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >office.ext
openssl x509 -req -in office.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile office.ext \
    -out office.pem 2>/dev/null
echo "pass word" >pass.txt
openssl pkcs12 -export -inkey office.key -in office.pem -certfile ca.pem -passout file:pass.txt -out office.p12

fail() { echo "sign_test: $*" >&2; exit 1; }
verify() { osslsigncode verify -CAfile ca.pem -in "$1" >"$1.verify" 2>&1; }

"$pack" "$roster" --cost 1,1 --program "$program" -o signed.exe --sign office.p12 --sign-pass-file pass.txt >report 2>/dev/null
grep -q "signed with office.p12 (Authenticode, SHA-256)" report || fail "the report does not say it signed"
verify signed.exe || { cat signed.exe.verify; fail "the signed program does not verify"; }
grep -q "Message digest algorithm *: SHA256" signed.exe.verify || fail "not a SHA-256 signature"

# One byte changed in the middle of the program, inside what the signature covers.
cp signed.exe changed.exe
size=$(stat -c %s changed.exe)
printf '\x5a' | dd of=changed.exe bs=1 seek=$((size / 2)) conv=notrunc status=none
! verify changed.exe || fail "a changed program still verifies"

# A signed program as the template: packing invalidates its signature, which
# goes before the new one is made.
"$pack" "$roster" --cost 1,1 --program signed.exe -o again.exe --sign office.p12 --sign-pass-file pass.txt >/dev/null 2>&1
verify again.exe || { cat again.exe.verify; fail "the program packed from a signed one does not verify"; }
grep -q "Number of verified signatures: 1" again.exe.verify && ! grep -q "Signature Index: 1" again.exe.verify ||
    fail "the old signature was kept"

# A wrong password is refused, and nothing is written.
echo "wrong" >wrong.txt
! "$pack" "$roster" --cost 1,1 --program "$program" -o refused.exe --sign office.p12 --sign-pass-file wrong.txt \
    >/dev/null 2>err || fail "a wrong password was taken"
grep -q "signing failed" err && [ ! -e refused.exe ] || fail "a failed signing left a file or said nothing"
echo "signed, verified, a changed byte refused"
