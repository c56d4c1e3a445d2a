#!/usr/bin/env bash
# Signs the program files of a release for the update server, and makes the
# release key that they are signed with. The program accepts a downloaded
# file only with a valid Ed25519 signature of its exact bytes by this key;
# the key's public half is compiled in through the CMake option
# ONDREL_RELEASE_KEY.
#
#   tools/sign-release.sh keygen FOLDER
#       makes FOLDER/release-key.pem (the private key: keep it off the server
#       and out of the repository) and FOLDER/release-key.pub (the public
#       half as 64 hexadecimal digits: build with
#       -DONDREL_RELEASE_KEY=FOLDER/release-key.pub)
#   tools/sign-release.sh sign release-key.pem FILE...
#       writes FILE.sig beside each FILE (64 raw bytes)
#   tools/sign-release.sh verify release-key.pub FILE...
#       checks FILE.sig of each FILE against the public half
#
# Needs OpenSSL 3 (Debian package openssl).
set -euo pipefail

usage() {
  sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

# The fixed DER prefix of an Ed25519 public key (SubjectPublicKeyInfo); the
# 32 key bytes follow it.
readonly DerPrefix=302a300506032b6570032100

[[ $# -ge 2 ]] || usage
command=$1
shift
case $command in
  keygen)
    folder=$1
    mkdir -p "$folder"
    [[ ! -e $folder/release-key.pem ]] || { echo "$folder/release-key.pem exists already" >&2; exit 1; }
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$folder/release-key.pem")
    openssl pkey -in "$folder/release-key.pem" -pubout -outform DER | tail -c 32 | od -An -v -tx1 | tr -d ' \n' \
      > "$folder/release-key.pub"
    echo >> "$folder/release-key.pub"
    echo "private key: $folder/release-key.pem (keep it safe)"
    echo "public key:  $folder/release-key.pub ($(cat "$folder/release-key.pub"))"
    ;;
  sign)
    key=$1
    shift
    [[ $# -ge 1 ]] || usage
    for file in "$@"; do
      openssl pkeyutl -sign -rawin -inkey "$key" -in "$file" -out "$file.sig"
      [[ $(stat -c %s "$file.sig") == 64 ]] || { echo "$file.sig is not a 64-byte signature" >&2; exit 1; }
      echo "signed $file -> $file.sig"
    done
    ;;
  verify)
    hex=$(tr -d ' \t\r\n' < "$1")
    shift
    [[ $hex =~ ^[0-9a-fA-F]{64}$ ]] || { echo "the public key is not 64 hexadecimal digits" >&2; exit 1; }
    [[ $# -ge 1 ]] || usage
    der=$(mktemp)
    trap 'rm -f "$der"' EXIT
    printf "$(echo "$DerPrefix$hex" | sed 's/../\\x&/g')" > "$der"
    status=0
    for file in "$@"; do
      if openssl pkeyutl -verify -rawin -pubin -keyform DER -inkey "$der" -in "$file" -sigfile "$file.sig" >/dev/null; then
        echo "good signature: $file"
      else
        echo "BAD SIGNATURE: $file" >&2
        status=1
      fi
    done
    exit $status
    ;;
  *) usage ;;
esac
