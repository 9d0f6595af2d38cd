# Sourced: configure (once) and build one preset; warnings are errors.
build_preset() {
    local preset=$1
    if [ ! -f "$LINEPROBE_ROOT/build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" -DLINEPROBE_WERROR=ON >/dev/null
    fi
    cmake --build --preset "$preset" -- -k 0 | grep -v -E '^\[[0-9]+/[0-9]+\] ' || true
    cmake --build --preset "$preset" >/dev/null
}
