#!/bin/bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build g++ clang \
  libgtest-dev libgmock-dev libbenchmark-dev \
  libncursesw5-dev openjdk-17-jdk-headless tmux python3
