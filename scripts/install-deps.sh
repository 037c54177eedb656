#!/usr/bin/env bash
# Installs everything Tolvikan needs to build, test and run, from Debian 12's packages. Debian's own
# libavcodec59 has every encoder the outputs use (x264, VP9, Opus, AAC, ProRes, QuickTime Animation); no
# libavcodec-extra is needed. munge and Slurm serve the one-node job-array test.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config git ca-certificates \
    qt6-base-dev qt6-base-dev-tools libgl-dev \
    libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg \
    libmp3lame-dev libpulse-dev pulseaudio pulseaudio-utils \
    zlib1g-dev liblzma-dev libjpeg-dev libpng-dev \
    libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-dejavu-core \
    libgtest-dev libgmock-dev \
    clang libclang-rt-14-dev clang-format \
    xvfb imagemagick xdotool x11-utils \
    munge slurmctld slurmd slurm-client
