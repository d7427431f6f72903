#!/usr/bin/env bash
# End-to-end runs of the native launcher, copied into temporary package folders beside fake
# packages (scripts that log their start, arguments and end) and a fake xdg-open first on PATH.
# Usage: setup_native_test.sh SETUP_BINARY
set -u
. "$(dirname "$0")/end_to_end_checks.sh"
launcher=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/log
timeout=$(command -v timeout)

mkdir -p "$work/bin" "$work/empty"
cat >"$work/bin/xdg-open" <<'EOF'
#!/bin/sh
PATH=/usr/bin:/bin
echo "start|xdg-open|$#|$*" >>"$SETUP_TEST_LOG"
# Held until the test lets it go, which shows that the launcher did not wait for it.
if [ -n "${SETUP_TEST_RELEASE:-}" ]; then
    i=0
    while [ ! -e "$SETUP_TEST_RELEASE" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
fi
echo "end|xdg-open" >>"$SETUP_TEST_LOG"
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
tools="$work/bin:$PATH"

# Discovery with every kind of name, the gate open (no version on POSIX).
dir="$work/pkg é"
mkdir -p "$dir/tools.exe"
cp "$launcher" "$dir/Setup"
package "$dir"/{a.exe,b.exe,tool.exe.config,a.msi.exe,café.exe,MySetup.exe,RUNTIME.EXE,SETUP.EXE}
touch "$dir"/{c.msi,Setup.exe.msi,readme.txt,b.MSI}
echo "not a program" >"$dir/plain.exe"
mkfifo "$dir/pipe.exe"
release=$work/release
SETUP_TEST_RELEASE=$release run discovery "$dir" "$tools" ./Setup
wait_for '^start|xdg-open' 2
check "discovery: programs" \
    "$(printf 'start|%s|1|/passive\n' "$dir"/{a.exe,a.msi.exe,b.exe,café.exe,tool.exe.config} | sort)" \
    "$(grep '^start|/' "$log" | sort)"
check "discovery: order and waiting" ok "$(sequence_ok xdg-open)"
check "discovery: opens" "$(printf 'start|xdg-open|1|%s\n' "$dir"/{Setup.exe.msi,c.msi})" \
    "$(grep '^start|xdg-open' "$log" | sort)"
check "discovery: opener not waited for" "" "$(grep '^end|xdg-open' "$log")"
touch "$release"
wait_for '^end|xdg-open' 2
check "discovery: opener released" 2 "$(grep -c '^end|xdg-open' "$log")"

# Command-line entries: in order, absolute as given, relative beside the launcher.
mkdir -p "$work/other" "$dir/sub"
package "$work/other/x.exe" "$dir/sub/y.exe"
run "command line" "$work" "$tools" "$dir/Setup" \
    -e "b.exe;;$work/other/x.exe;sub/y.exe;" -m "c.msi" -e "a.exe"
wait_for '^end|xdg-open' 1
check "command line: sequence" "$(printf '%s\n' \
    "start|$dir/b.exe|1|/passive" "end|$dir/b.exe" \
    "start|$work/other/x.exe|1|/passive" "end|$work/other/x.exe" \
    "start|$dir/sub/y.exe|1|/passive" "end|$dir/sub/y.exe" \
    "start|$dir/a.exe|1|/passive" "end|$dir/a.exe" \
    "start|xdg-open|1|$dir/c.msi" "end|xdg-open")" "$(cat "$log")"

run "empty entry" "$dir" "$tools" ./Setup -e ""
sleep 0.5
check "empty entry: nothing started" "" "$(cat "$log")"

# A copy named setup.exe, started by that name, and a link to it are the launcher itself.
self="$work/self"
mkdir "$self"
cp "$launcher" "$self/setup.exe"
ln -s setup.exe "$self/link.exe"
package "$self"/{a.exe,b.exe}
touch "$self/c.msi"
run "self-exclusion" "$self" "$tools" ./setup.exe
wait_for '^end|xdg-open' 1
check "self-exclusion: each package once" "$(printf '%s\n' "start|$self/a.exe|1|/passive" \
    "start|$self/b.exe|1|/passive" "start|xdg-open|1|$self/c.msi")" "$(grep '^start' "$log" | sort)"

# Without xdg-open on PATH the installer packages are skipped.
run "no xdg-open" "$self" "$work/empty" ./setup.exe
check "no xdg-open: programs only" "$(printf 'start|%s|1|/passive\n' "$self"/{a.exe,b.exe})" \
    "$(grep '^start' "$log" | sort)"

# A launcher path longer than any fixed buffer.
deep=$work/$(printf 'd%.0s' {1..200})/$(printf 'e%.0s' {1..200})
mkdir -p "$deep"
cp "$launcher" "$deep/Setup"
package "$deep/a.exe"
run "long path" "$work" "$tools" "$deep/Setup"
check "long path: started" "start|$deep/a.exe|1|/passive" "$(grep '^start' "$log")"

finish
