#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running タルネク need.
# Idempotent: asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n libx11-dev libxtst-dev
  libsdl2-dev libpipewire-0.3-dev libsndfile1-dev libfluidsynth-dev timgm6mb-soundfont
  libglib2.0-dev fonts-ipafont-gothic
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  pipewire pipewire-bin wireplumber pipewire-pulse dbus-daemon
  xvfb xauth xdotool x11-utils desktop-file-utils appstream qt6-wayland file locales
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
