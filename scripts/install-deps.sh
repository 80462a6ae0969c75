#!/usr/bin/env bash
# Installs the Debian 12 packages this project builds and tests with.
# Idempotent: packages already present are skipped, so a second run is quick.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build pkg-config git python3 ccache
  clang libclang-rt-14-dev
  # libraries of the core and the command-line tool
  libcli11-dev nlohmann-json3-dev libfreetype-dev libfontconfig-dev libjpeg62-turbo-dev libpng-dev libgif-dev
  # fonts for the device's characters
  fonts-ipafont-gothic fonts-misaki
  # GUI
  qt6-base-dev libqscintilla2-qt6-dev libgl-dev fonts-ipafont-mincho
  qt6-translations-l10n  # Qt's own dialogs and buttons in Japanese
  xvfb xauth
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev lua5.4 liblua5.4-dev libcairo2-dev
  socat stress  # real clients of the wire, and load for the race checks
  unzip  # looks into the VS Code extension's .vsix
  chromium  # opens qmt test's HTML report headless, driven by playwright-core
  # the Debian packages (debian/, dpkg-buildpackage) and the checks of what
  # they install: lintian, the manual pages' lint, the AppStream metainfo
  dpkg-dev debhelper devscripts fakeroot lintian mandoc appstream
  desktop-file-utils groff-base zsh
  # the web build (scripts/build-web.sh)
  emscripten
  chromium  # the page's browser tests (Playwright drives it headless)
  # the language server tested with a real editor's client, and the editor
  # snippets of docs/debugging.md tried as written (Debian has no nvim-dap)
  neovim emacs-nox elpa-dap-mode elpa-eglot
  # the HTML manual (scripts/build-manual.sh)
  python3-sphinx python3-myst-parser
)

# node and npm run the debug adapter's client tests; a node installed some
# other way (nvm, NodeSource) is kept.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
