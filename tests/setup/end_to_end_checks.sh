# shellcheck shell=bash
# Shared by the end-to-end scripts. Packages log "start|<name>|<count>|<arguments>" and
# "end|<name>" to $log; the opener (the "open" action) logs the same under its own name.
# shellcheck disable=SC2154 # log is the sourcing script's
passed=0
failed=0

check() { # what expected actual
    if [ "$2" == "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n--- expected\n%s\n--- actual\n%s\n' "$1" "$2" "$3"
    fi
}

# Opened packages run on after the launcher has ended: wait (bounded) for their lines.
wait_for() { # pattern count
    for _ in $(seq 150); do
        [ "$(grep -c -- "$1" "$log")" -ge "$2" ] && return 0
        sleep 0.1
    done
}

# Each program runs to its end before the next starts, and all before the first open.
sequence_ok() { # opener-name
    awk -F'|' -v opener="$1" '
        $2 == opener { if ($1 == "start") opened = 1; next }
        $1 == "start" { if (opened || running != "") bad = 1; running = $2 }
        $1 == "end" { if ($2 != running) bad = 1; running = "" }
        END { exit bad || running != "" }' "$log" && echo ok
}

finish() {
    echo "checks: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
