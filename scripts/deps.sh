#!/bin/bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Only missing packages are installed, so a prepared machine costs nothing.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
PKGS=(build-essential cmake ninja-build g++ clang clang-format libclang-rt-14-dev
      libgtest-dev libgmock-dev libbenchmark-dev
      libncursesw5-dev openjdk-17-jdk-headless tmux python3 g++-multilib)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
