# Sourced by scripts/run and scripts/test: installs the Debian packages the build needs,
# only those that are missing, through sudo when not root.
SWD_PACKAGES=(cmake ninja-build g++ clang pkg-config qt6-base-dev qt6-multimedia-dev
              libhidapi-dev libgtest-dev libbenchmark-dev libgl-dev libclang-rt-14-dev libxcb1-dev)

swd_install_missing() {
  local missing=()
  for p in "${SWD_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}
