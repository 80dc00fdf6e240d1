# Sourced by the bundle's tests: the registered enabler used from JScript by both ProgIDs, through
# the tests' script (Vesk.VeskEnabler.1) and the bundle's JScript sample (Vesk.VeskEnabler), run as
# the guide runs it, from the bundle's folder; with the caller's `run` (its Wine prefix), `fail`,
# `checkout`, `bundle` and `work`.
js_sample() { (cd "$bundle" && run cscript //nologo 'samples\jscript\toolbar.js') >"$work/sample.log"; }
use_from_scripts() {
    run cscript //nologo "Z:$checkout/tests/system/scripts/enabler.js" 0 || fail "the script failed with Vesk.VeskEnabler.1"
    js_sample && grep -q "^Vesk.VeskEnabler: EnableVesk(0) and MakeSure(0) answered" "$work/sample.log" ||
        fail "the JScript sample failed: $(cat "$work/sample.log")"
    echo "the JScript sample, registered: $(tr -d '\r' <"$work/sample.log")"
}
