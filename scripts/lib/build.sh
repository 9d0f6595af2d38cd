# Sourced: configure (once) and build one preset; warnings are errors.
#   build_preset PRESET [TARGET...]    all of the preset, or only the targets named
build_preset() {
    local preset=$1 targets=()
    shift
    [ $# -eq 0 ] || targets=(--target "$@")
    if [ ! -f "$LINEPROBE_ROOT/build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" -DLINEPROBE_WERROR=ON >/dev/null
    fi
    cmake --build --preset "$preset" "${targets[@]}" -- -k 0 | grep -v -E '^\[[0-9]+/[0-9]+\] ' || true
    cmake --build --preset "$preset" "${targets[@]}" >/dev/null
}
