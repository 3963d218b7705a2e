#!/bin/sh
# The lab's checks, run inside the lab machine against the real airvane command line, the
# nl80211 plug-in and the wpa_supplicant module. One result line per check, then
# "lab: N passed, M failed".

# ---- Expectations (edit here) -------------------------------------------------------------
# Exit statuses agreed for the command line: 0 success, 1 failed, 2 usage, 3 not found,
# 4 authentication failure, 5 timeout, 6 no usable adapter, 7 key store failure.
STATION=wlan3
NEW_STATION=wlan4
PASSPHRASE='correct horse battery'
# The command that shows the link and security state.
STATUS_COMMAND=status
#
# NAME | STATUS | OUTPUT PATTERN (extended regex, empty: any) | COMMAND (after "airvane")
CHECKS="
adapters|0|^ *$STATION|adapters
scan|0|LabWPA +100|scan $STATION
scan-open|0|LabOpen +100|scan $STATION
connect-wpa|0|Connected to LabWPA|connect $STATION --ssid LabWPA --wpa-psk '$PASSPHRASE' --timeout 40
status-wpa|0|security: +WPA-PSK completed|$STATUS_COMMAND $STATION
status-link|0|link: +associated|$STATUS_COMMAND $STATION
disconnect-wpa|0||disconnect $STATION
status-after-disconnect|0|link: +not associated|$STATUS_COMMAND $STATION
wrong-passphrase|4|wrong key or pass phrase|-v connect $STATION --ssid LabWPA --wpa-psk 'not the pass phrase' --timeout 40
connect-open|0|Connected to LabOpen|connect $STATION --ssid LabOpen --open --timeout 40
disconnect-open|0||disconnect $STATION
mismatch|1|network requires WPA-PSK|-v connect $STATION --ssid LabWPA --open
not-found|3|network not in range|-v connect $STATION --ssid NoSuchNetwork --open
connect-wep|0|Connected to LabWEP|connect $STATION --ssid LabWEP --wep 0102030405 --timeout 40
disconnect-wep|0||disconnect $STATION
discover|0|^ *$NEW_STATION|adapters --discover
"
# ---------------------------------------------------------------------------------------------

cd /opt/airvane || exit 1
export LD_LIBRARY_PATH=/opt/airvane
passed=0
failed=0
log=/tmp/check.log

# Steps that prepare a check.
before_check() {
    case "$1" in
    discover) ./hwsim_new_radio && sleep 1 ;;
    esac
}

while IFS='|' read -r name expected pattern command; do
    [ -n "$name" ] || continue
    case "$name" in
    *-wep)
        if [ "$LAB_WEP" != 1 ]; then
            echo "lab: SKIP $name (hostapd has no WEP support)"
            continue
        fi
        ;;
    esac
    before_check "$name"
    start=$(date +%s)
    eval "./airvane $command" >"$log" 2>&1
    status=$?
    seconds=$(($(date +%s) - start))
    verdict=PASS
    why=""
    if [ "$status" != "$expected" ]; then
        verdict=FAIL
        why="status $status, expected $expected"
    elif [ -n "$pattern" ] && ! grep -Eq "$pattern" "$log"; then
        verdict=FAIL
        why="output lacks /$pattern/"
    fi
    if [ $verdict = PASS ]; then
        passed=$((passed + 1))
        echo "lab: PASS $name (${seconds} s)"
    else
        failed=$((failed + 1))
        echo "lab: FAIL $name (${seconds} s): $why"
        sed 's/^/lab:   | /' "$log"
    fi
done <<END
$CHECKS
END

echo "lab: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
