#!/usr/bin/env bash
# Release step: sign the installer before it is published.
#
# The program starts a downloaded installer only when the minisign signature
# published beside it verifies against the release public key built into the
# program, data/tools/kvr-release.pub (the build reads it from there). The
# matching secret key lives only on the vendor's offline release machine: never
# in this repository, on a build or web server, or on a clinic's computer.
#
# On the release machine, with the installer built:
#   data/tools/sign-installer.sh setup-kvr.exe /path/to/kvr-release.key "KVR 4.1.0"
# This writes setup-kvr.exe.minisig beside the installer (minisign asks for the
# secret key's password) and checks it against the public key of this tree.
# Then publish, in this order:
#   1. setup-kvr.exe and setup-kvr.exe.minisig, side by side, in /Soft/kvr/;
#   2. the new number in /Soft/kvr/LastVersion.txt, last, so that no program
#      is told of a version whose signature is not there yet.
#
# A new key pair, only when the secret key is lost or exposed: on the release
# machine run `minisign -G -p kvr-release.pub -s kvr-release.key` (give it a
# password), put the new kvr-release.pub here and build. Programs built with the
# old key refuse installers signed with the new one, so that version has to be
# installed by hand once.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 INSTALLER SECRET-KEY [TRUSTED-COMMENT]" >&2
  exit 2
fi
installer=$1
key=$2
comment=${3:-$(basename "$installer")}
here=$(cd "$(dirname "$0")" && pwd)

minisign -S -s "$key" -m "$installer" -x "$installer.minisig" -t "$comment"
minisign -V -p "$here/kvr-release.pub" -m "$installer" -x "$installer.minisig"
echo "Publish $installer and $installer.minisig together in /Soft/kvr/, then LastVersion.txt."
