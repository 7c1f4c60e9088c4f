# Sourced by the face's shell tests: the build folder's zarncap and driver on
# the noise-free virtual camera, with settings and launcher folders of the
# test's own in a scratch folder removed at exit, and fail() naming the test.
#   source face_test_env.sh <build folder>
build=$(cd "$1" && pwd)
zarncap="$build/tools/zarncap/zarncap"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ZARNCAP_CONFIG_DIR="$work/config" ZARNCAP_CAMERA="sim:noise=0" ZARNCAP_DRIVER="$build/libzarncap.so"
export TMPDIR="$work/tmp"
mkdir -p "$ZARNCAP_CONFIG_DIR" "$TMPDIR"
fail() { echo "$(basename "$0" .sh): $*"; exit 1; }
