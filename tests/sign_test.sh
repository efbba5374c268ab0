#!/usr/bin/env bash
# scripts/sign.sh with a throwaway self-signed certificate, on copies of the
# two win64 programs: without a certificate, with a wrong password, with an
# unreachable time-stamp server and when the new signature does not verify
# it fails and changes nothing; with the right password both copies are
# signed and verify. The signed installer
# then runs the Wine tier's English scenario.
#   sign_test.sh WINE_TIER_TESTS
# Exit status 77 (skipped) without osslsigncode, openssl or the win64 build.
set -euo pipefail
cd "$(dirname "$0")/.."
tier=$1 work=$(mktemp -d) status=0
trap 'rm -rf "$work"' EXIT
command -v osslsigncode >/dev/null && command -v openssl >/dev/null || {
  echo "skipped: osslsigncode or openssl not found (scripts/setup.sh)"; exit 77; }
ls build/win64/{patch_installer,fff}.exe >/dev/null 2>&1 || { echo "skipped: build the win64 preset first"; exit 77; }
fail() { echo "FAILED: $*" >&2; status=1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Gravelhorn test publisher" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/publisher.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/publisher.pem" \
  -out "$work/publisher.p12" -passout "pass:a pass phrase"
mkdir "$work/programs" && cp build/win64/{patch_installer,fff}.exe "$work/programs/"
cp -r "$work/programs" "$work/unsigned"

# ENVIRONMENT... EXPECTED_STATUS EXPECTED_MESSAGE: sign.sh on both copies.
sign() {
  local settings=("${@:1:$#-2}") expected=${*: -2:1} message=${*: -1} actual=0 output
  output=$(env -u SIGN_PKCS12 -u SIGN_PASSWORD -u SIGN_TIMESTAMP_URL -u SIGN_CA_FILE \
    "${settings[@]}" scripts/sign.sh "$work"/programs/*.exe 2>&1) || actual=$?
  [ "$actual" -eq "$expected" ] || fail "${settings[*]}: exit status $actual, not $expected: $output"
  grep -qF -- "$message" <<<"$output" || fail "${settings[*]}: no \"$message\" in: $output"
  [ "$(ls "$work/programs")" = "$(printf 'fff.exe\npatch_installer.exe')" ] ||
    fail "${settings[*]}: left $(ls "$work/programs" | tr '\n' ' ')"
}
certificate=(SIGN_PKCS12="$work/publisher.p12" SIGN_PASSWORD="a pass phrase"
  SIGN_CA_FILE="$work/publisher.pem")
sign 2 "needs the publisher's certificate: set SIGN_PKCS12"
sign "${certificate[@]}" SIGN_PASSWORD=wrong 1 "the password is wrong"
sign "${certificate[@]}" SIGN_TIMESTAMP_URL=http://127.0.0.1:9/ 1 "signing failed"
sign "${certificate[@]}" SIGN_CA_FILE=/dev/null 1 "the new signature does not verify"
diff -r "$work/programs" "$work/unsigned" >/dev/null || fail "a failed signing changed a program"
sign "${certificate[@]}" 0 "signed $work/programs/patch_installer.exe"
for program in patch_installer fff; do
  osslsigncode verify -CAfile "$work/publisher.pem" -in "$work/programs/$program.exe" >/dev/null &&
    ! cmp -s "$work/programs/$program.exe" "$work/unsigned/$program.exe" || fail "$program.exe unsigned"
done

# The signed installer under Wine, in a prefix of its own.
output=$(WINDOWS_PATCH_INSTALLER="$work/programs/patch_installer.exe" WINE_TIER_DIR="$work/wine-tier" \
  "$tier" --gtest_filter='Scenarios/WindowsProgram.AgreesWithTheLinuxProgram/English' 2>&1) || true
skipped=$(grep -m1 "Wine tier skipped" <<<"$output") && [ $status -eq 0 ] &&
  { echo "signing passed; the Wine run skipped: $skipped"; exit 77; }
grep -q '^\[  PASSED  \] 1 test' <<<"$output" || fail "the Wine run did not pass: $output"
[ $status -eq 0 ] && echo "sign.sh signed and verified both programs; the signed installer passed under Wine"
exit $status
