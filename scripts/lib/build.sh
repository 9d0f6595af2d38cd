# Sourced: configure and build one preset; warnings are errors.
#   build_preset PRESET [TARGET...]    all of the preset, or only the targets named
# Returns non-zero when the configure or the build fails.
build_preset() {
    local preset=$1 targets=() dir="$LINEPROBE_ROOT/build/$1"
    shift
    [ $# -eq 0 ] || targets=(--target "$@")
    # A folder configured by hand (cmake --preset) keeps warnings as warnings
    # in its cache: configure it again with them as errors.
    if ! grep -q -x 'LINEPROBE_WERROR:[A-Z]*=ON' "$dir/CMakeCache.txt" 2>/dev/null || [ ! -f "$dir/build.ninja" ]; then
        cmake --preset "$preset" -DLINEPROBE_WERROR=ON >/dev/null || return 1
    fi
    cmake --build --preset "$preset" "${targets[@]}" -- -k 0 | grep -v -E '^\[[0-9]+/[0-9]+\] ' || true
    cmake --build --preset "$preset" "${targets[@]}" >/dev/null
}
