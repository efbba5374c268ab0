#!/usr/bin/env bash
# Signs the Windows programs with the publisher's code-signing certificate
# (Authenticode, SHA-256, with osslsigncode) and checks every signature
# before a signed program takes the unsigned one's place.
#
#   SIGN_PKCS12=publisher.p12 SIGN_PASSWORD=... scripts/sign.sh [PROGRAM...]
#
# PROGRAMs are the four built programs unless given: patch_installer.exe
# and fff.exe of build/win64 and build/win32. The environment:
#   SIGN_PKCS12         the certificate with its private key, a PKCS#12 file
#   SIGN_PASSWORD       that file's password (may be empty, but must be set)
#   SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamp server, so that the
#                       signature stays valid after the certificate expires
#   SIGN_CA_FILE        optional: the root certificates (PEM) the check
#                       trusts; the system's by default
# Each program is signed into PROGRAM.signing beside it and checked there:
# the signature must verify and be made with the certificate of SIGN_PKCS12.
# Only when every program has passed do the signed files replace the
# unsigned ones; on any failure no program is changed and no temporary file
# is left. Exit status: 0 signed, 1 failed, 2 not set up.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

say() { echo "sign.sh: $*" >&2; }

programs=("$@")
if [ ${#programs[@]} -eq 0 ]; then
  programs=("$root"/build/win64/patch_installer.exe "$root"/build/win64/fff.exe
            "$root"/build/win32/patch_installer.exe "$root"/build/win32/fff.exe)
fi

if [ -z "${SIGN_PKCS12:-}" ] || [ -z "${SIGN_PASSWORD+set}" ]; then
  say "needs the publisher's certificate: set SIGN_PKCS12 to its PKCS#12 file"
  say "(.p12 or .pfx, with the private key) and SIGN_PASSWORD to its password;"
  say "SIGN_TIMESTAMP_URL (a time-stamp server) and SIGN_CA_FILE are optional."
  say "Nothing was signed."
  exit 2
fi
for tool in osslsigncode openssl; do
  if ! command -v "$tool" >/dev/null; then
    say "$tool not found: scripts/setup.sh installs it. Nothing was signed."
    exit 2
  fi
done
if [ ! -r "$SIGN_PKCS12" ]; then
  say "cannot read the certificate $SIGN_PKCS12. Nothing was signed."
  exit 2
fi
export SIGN_PASSWORD
ca_file=${SIGN_CA_FILE:-/etc/ssl/certs/ca-certificates.crt}

# The certificate the signatures must carry. Files written by older tools
# use ciphers that OpenSSL 3 keeps in its legacy provider.
read_certificate() {
  openssl pkcs12 -in "$SIGN_PKCS12" -passin env:SIGN_PASSWORD -nokeys -clcerts "$@" 2>&1
}
if ! certificate=$(read_certificate) && ! certificate=$(read_certificate -legacy); then
  say "cannot open the certificate $SIGN_PKCS12 with the password in SIGN_PASSWORD:"
  say "the password is wrong, or the file is not a PKCS#12 certificate."
  say "Nothing was signed."
  exit 1
fi
leaf_hash=$(openssl x509 -outform DER <<<"$certificate" | sha256sum | cut -d' ' -f1)

signing=()
cleanup() { rm -f "${signing[@]}"; }
trap cleanup EXIT

failed() {  # WHAT OUTPUT
  say "$1"
  # osslsigncode's own reasons, without its listing of the certificates.
  grep -iE 'error|fail|wrong|unable' <<<"$2" | head -n 6 | sed 's/^[[:space:]]*/  /' >&2 || true
  say "Nothing was signed."
  exit 1
}

for program in "${programs[@]}"; do
  [ -f "$program" ] || failed "$program: no such file (build the win64 and win32 presets first)" ""
  case $(basename "$program") in
    patch_installer.exe) description="Gravelhorn Patch Installer" ;;
    *) description="Gravelhorn Patch Installer: $(basename "$program")" ;;
  esac
  temporary=$program.signing
  signing+=("$temporary")
  options=(-pkcs12 "$SIGN_PKCS12" -readpass - -h sha256 -n "$description")
  if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
    options+=(-ts "$SIGN_TIMESTAMP_URL")
  fi
  rm -f "$temporary"
  if ! output=$(printf '%s' "$SIGN_PASSWORD" |
      osslsigncode sign "${options[@]}" -in "$program" -out "$temporary" 2>&1); then
    failed "$program: signing failed" "$output"
  fi
  if ! output=$(osslsigncode verify -CAfile "$ca_file" -require-leaf-hash "sha256:$leaf_hash" \
      -in "$temporary" 2>&1); then
    failed "$program: the new signature does not verify (a certificate that no root of
  the system issued needs its root in SIGN_CA_FILE)" "$output"
  fi
done

for program in "${programs[@]}"; do
  mv -f "$program.signing" "$program"
  echo "signed $program"
done
signing=()
