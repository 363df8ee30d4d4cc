#!/usr/bin/env bash
# Installs the Debian packages that building and testing kwl need, only
# those that are missing. Extra package names may be given as arguments.
# KWL_SKIP_DEPS=1 skips the whole check (e.g. on a machine without apt).
set -euo pipefail

# One list for everything; extend it here when a subsystem needs more.
KWL_DEB_PACKAGES=(
  build-essential
  cmake
  pkg-config
  libgtest-dev
  googletest
  python3
  clang
  clang-format
  libclang-rt-14-dev
  # the FastCGI front end (linked in)
  libfcgi-dev
  # libraries of the loadable modules
  libssl-dev
  libmariadb-dev
  libgd-dev
  libxml2-dev
  libfreetype-dev
  zlib1g-dev
  libjpeg62-turbo-dev
  # AFM widths of the standard PDF fonts (fonts.map) and a TrueType font for the PDF and image tests
  a2ps
  fonts-dejavu-core
  # servers and clients of the end-to-end tests
  mariadb-server
  lighttpd
  curl
  openssl
  ca-certificates
  # PDF checks of the tests and the PDF benchmark's peer
  qpdf
  poppler-utils
  php-cli
  php-fpdf
)

if [[ "${KWL_SKIP_DEPS:-}" == 1 ]]; then
  exit 0
fi

installed() {
  dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

missing=()
for pkg in "${KWL_DEB_PACKAGES[@]}" "$@"; do
  installed "$pkg" || missing+=("$pkg")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
  else
    echo "install-deps: missing packages: ${missing[*]}; run as root or install sudo" >&2
    exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
