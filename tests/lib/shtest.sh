# Sourced by script-driven tests: records cases and writes a GoogleTest-style
# report to $LINEPROBE_RESULTS_DIR/<suite>.xml, so scripts/test counts them
# like any other test program.
#   shtest_begin SUITE
#   shtest_expect_eq NAME ACTUAL EXPECTED
#   shtest_pass NAME / shtest_fail NAME MESSAGE
#   shtest_skip NAME REASON    (a case that cannot run here, with the reason)
#   shtest_need_win32_beside   (skips the rest without the 32-bit build)
#   shtest_end            (exit status: 0 when no case failed)

shtest_begin() {
    SHTEST_SUITE=$1
    SHTEST_TESTS=0
    SHTEST_FAILURES=0
    SHTEST_SKIPPED=0
    SHTEST_CASES=""
}

shtest_xml_escape() {
    local s=$1
    s=${s//&/"&amp;"}; s=${s//</"&lt;"}; s=${s//>/"&gt;"}; s=${s//\"/"&quot;"}
    printf '%s' "$s"
}

shtest_pass() {
    SHTEST_TESTS=$((SHTEST_TESTS + 1))
    SHTEST_CASES+="    <testcase name=\"$(shtest_xml_escape "$1")\" status=\"run\" classname=\"$SHTEST_SUITE\"/>"$'\n'
    echo "[       OK ] $SHTEST_SUITE.$1"
}

shtest_fail() {
    SHTEST_TESTS=$((SHTEST_TESTS + 1))
    SHTEST_FAILURES=$((SHTEST_FAILURES + 1))
    SHTEST_CASES+="    <testcase name=\"$(shtest_xml_escape "$1")\" status=\"run\" classname=\"$SHTEST_SUITE\"><failure message=\"$(shtest_xml_escape "$2")\"/></testcase>"$'\n'
    echo "[  FAILED  ] $SHTEST_SUITE.$1: $2"
}

shtest_skip() {
    SHTEST_TESTS=$((SHTEST_TESTS + 1))
    SHTEST_SKIPPED=$((SHTEST_SKIPPED + 1))
    SHTEST_CASES+="    <testcase name=\"$(shtest_xml_escape "$1")\" status=\"run\" result=\"skipped\" classname=\"$SHTEST_SUITE\"><skipped message=\"$(shtest_xml_escape "$2")\"/></testcase>"$'\n'
    echo "[  SKIPPED ] $SHTEST_SUITE.$1: $2"
}

# Sets win64 and win32 to this build and the 32-bit one beside it; without
# that one the suite ends here with a skipped case.
shtest_need_win32_beside() {
    win64=$LINEPROBE_BUILD_DIR
    win32=${win64%win64}win32
    if [ "$win32" = "$win64" ] || [ ! -f "$win32/comlineprobe.dll" ]; then
        shtest_skip built "needs the win32 preset built beside this one ($win32)"
        shtest_end
        exit
    fi
}

shtest_expect_eq() {
    if [ "$2" == "$3" ]; then
        shtest_pass "$1"
    else
        shtest_fail "$1" "got [$2], expected [$3]"
    fi
}

shtest_end() {
    local dir=${LINEPROBE_RESULTS_DIR:-.}
    mkdir -p "$dir"
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo "<testsuites tests=\"$SHTEST_TESTS\" failures=\"$SHTEST_FAILURES\" disabled=\"0\" errors=\"0\" name=\"AllTests\">"
        echo "  <testsuite name=\"$SHTEST_SUITE\" tests=\"$SHTEST_TESTS\" failures=\"$SHTEST_FAILURES\" errors=\"0\">"
        printf '%s' "$SHTEST_CASES"
        echo "  </testsuite>"
        echo "</testsuites>"
    } > "$dir/$SHTEST_SUITE.xml"
    local skipped=""
    [ "$SHTEST_SKIPPED" = 0 ] || skipped=", $SHTEST_SKIPPED skipped"
    echo "$SHTEST_SUITE: $((SHTEST_TESTS - SHTEST_FAILURES - SHTEST_SKIPPED)) passed, $SHTEST_FAILURES failed$skipped"
    [ "$SHTEST_FAILURES" = 0 ]
}
