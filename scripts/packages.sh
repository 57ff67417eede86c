# The Debian packages of the two set-ups, in one place. Sourced by scripts/setup.sh; read by the
# test that keeps the lists apart. Add a package to the list of what needs it:
#   RUN_PACKAGES       building and running the program and kwotnik-ledger (scripts/run.sh)
#   TEST_PACKAGES      the tests, benchmarks, fuzz replays and the Debian package (scripts/test.sh)
#   SANITIZE_PACKAGES  only with SANITIZE=1: clang and its run-time, for the libFuzzer build of the
#                      fuzz targets (the sanitizer build itself uses GCC's sanitizers)
# shellcheck disable=SC2034
RUN_PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-translations-l10n libgl-dev qt6-charts-dev qt6-svg-dev libqt6opengl6-dev
  libxlsxwriter-dev libzstd-dev
  fonts-liberation
)
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  locales xvfb xauth strace zstd
  python3 python3-dbfread python3-dbf python3-openpyxl shapelib libshp-dev
  poppler-utils cups printer-driver-cups-pdf
  libreoffice-writer-nogui libreoffice-calc-nogui unrtf enscript latex2rtf
  graphviz appstream dpkg-dev
)
SANITIZE_PACKAGES=(
  clang libclang-rt-14-dev
)
