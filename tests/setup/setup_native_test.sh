#!/usr/bin/env bash
# End-to-end runs of the native launcher, copied into temporary package folders beside fake
# packages (scripts that log their start, arguments and end) and a fake xdg-open first on PATH.
# Usage: setup_native_test.sh SETUP_BINARY
set -u
launcher=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/log
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

mkdir -p "$work/bin" "$work/empty"
cat >"$work/bin/xdg-open" <<'EOF'
#!/bin/sh
PATH=/usr/bin:/bin
echo "open|$#|$*" >>"$SETUP_TEST_LOG"
# Held until the test lets it go, which shows that the launcher did not wait for it.
if [ -n "${SETUP_TEST_RELEASE:-}" ]; then
    i=0
    while [ ! -e "$SETUP_TEST_RELEASE" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    echo "opened|$1" >>"$SETUP_TEST_LOG"
fi
EOF
chmod +x "$work/bin/xdg-open"

package() { # path...
    for path in "$@"; do
        cat >"$path" <<'EOF'
#!/bin/sh
PATH=/usr/bin:/bin
echo "start|$0|$#|$*" >>"$SETUP_TEST_LOG"
sleep 0.3
echo "end|$0" >>"$SETUP_TEST_LOG"
EOF
        chmod +x "$path"
    done
}

timeout=$(command -v timeout)

# Runs the launcher from a folder with the given PATH; checks the exit status and that nothing
# was printed.
run() { # what folder search-path program [args...]
    local what=$1 folder=$2 search=$3 program=$4
    shift 4
    : >"$log"
    (cd "$folder" && PATH=$search SETUP_TEST_LOG=$log "$timeout" 60 "$program" "$@" \
        >"$work/out" 2>"$work/err")
    check "$what: exit status" 0 $?
    check "$what: output" "" "$(cat "$work/out" "$work/err")"
}

wait_for() { # pattern count
    for _ in $(seq 100); do
        [ "$(grep -c -- "$1" "$log")" -ge "$2" ] && return 0
        sleep 0.1
    done
}

# Each program runs to its end before the next starts, and all before the first open.
sequence_ok() {
    awk -F'|' '/^start/ { if (opened || running != "") bad = 1; running = $2 }
               /^end/   { if ($2 != running) bad = 1; running = "" }
               /^open/  { opened = 1 }
               END      { exit bad || running != "" }' "$log" && echo ok
}

# Discovery with every kind of name, the gate open (no version on POSIX).
dir="$work/pkg é"
mkdir -p "$dir/tools.exe"
cp "$launcher" "$dir/Setup"
package "$dir"/{a.exe,b.exe,tool.exe.config,a.msi.exe,café.exe,MySetup.exe,RUNTIME.EXE,SETUP.EXE}
touch "$dir"/{c.msi,Setup.exe.msi,readme.txt,b.MSI}
echo "not a program" >"$dir/plain.exe"
mkfifo "$dir/pipe.exe"
release=$work/release
SETUP_TEST_RELEASE=$release run discovery "$dir" "$work/bin:$PATH" ./Setup
wait_for '^open' 2
check "discovery: programs" "$(printf 'start|%s|1|/passive\n' "$dir"/{a.exe,a.msi.exe,b.exe,café.exe,tool.exe.config} | sort)" \
    "$(grep '^start' "$log" | sort)"
check "discovery: order and waiting" ok "$(sequence_ok)"
check "discovery: opens" "$(printf 'open|1|%s\n' "$dir"/{Setup.exe.msi,c.msi})" "$(grep '^open' "$log" | sort)"
check "discovery: opener not waited for" "" "$(grep '^opened' "$log")"
touch "$release"
wait_for '^opened' 2
check "discovery: opener released" 2 "$(grep -c '^opened' "$log")"

# Command-line entries: in order, absolute as given, relative beside the launcher.
mkdir -p "$work/other" "$dir/sub"
package "$work/other/x.exe" "$dir/sub/y.exe"
run "command line" "$work" "$work/bin:$PATH" "$dir/Setup" \
    -e "b.exe;;$work/other/x.exe;sub/y.exe;" -m "c.msi" -e "a.exe"
wait_for '^open' 1
check "command line: sequence" "$(printf '%s\n' \
    "start|$dir/b.exe|1|/passive" "end|$dir/b.exe" \
    "start|$work/other/x.exe|1|/passive" "end|$work/other/x.exe" \
    "start|$dir/sub/y.exe|1|/passive" "end|$dir/sub/y.exe" \
    "start|$dir/a.exe|1|/passive" "end|$dir/a.exe" "open|1|$dir/c.msi")" "$(cat "$log")"

run "empty entry" "$dir" "$work/bin:$PATH" ./Setup -e ""
sleep 0.5
check "empty entry: nothing started" "" "$(cat "$log")"

# A copy named setup.exe, started by that name, and a link to it are the launcher itself.
self="$work/self"
mkdir "$self"
cp "$launcher" "$self/setup.exe"
ln -s setup.exe "$self/link.exe"
package "$self"/{a.exe,b.exe}
touch "$self/c.msi"
run "self-exclusion" "$self" "$work/bin:$PATH" ./setup.exe
wait_for '^open' 1
check "self-exclusion: each package once" "$(printf '%s\n' "open|1|$self/c.msi" \
    "start|$self/a.exe|1|/passive" "start|$self/b.exe|1|/passive")" "$(grep -v '^end' "$log" | sort)"

# Without xdg-open on PATH the installer packages are skipped.
run "no xdg-open" "$self" "$work/empty" ./setup.exe
check "no xdg-open: programs only" "$(printf 'start|%s|1|/passive\n' "$self"/{a.exe,b.exe})" \
    "$(grep -v '^end' "$log" | sort)"

echo "checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
