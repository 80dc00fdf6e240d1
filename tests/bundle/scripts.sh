# Sourced by the bundle's tests: the registered enabler used from JScript by both ProgIDs, through
# the tests' script (Vesk.VeskEnabler.1) and the bundle's own JScript sample (Vesk.VeskEnabler), with
# the caller's `run` (its Wine prefix), `fail`, `checkout`, `bundle` and `work`.
use_from_scripts() {
    run cscript //nologo "Z:$checkout/tests/system/scripts/enabler.js" 0 || fail "the script failed with Vesk.VeskEnabler.1"
    cat "$bundle/samples/toolbar.js" "$checkout/tests/bundle/sample-calls.js" >"$work/sample.js"
    run cscript //nologo "Z:$work/sample.js" | tee "$work/sample.log"
    grep -q '^js: the JScript sample created' "$work/sample.log" || fail "the JScript sample failed"
}
