#!/usr/bin/env bash
# End-to-end runs of the native launcher, copied into temporary package folders beside fake
# packages (scripts that log their start, arguments and end) and a fake xdg-open first on PATH.
# Usage: setup_native_test.sh SETUP_BINARY
set -u
# shellcheck source=tests/setup/end_to_end_checks.sh
. "$(dirname "$0")/end_to_end_checks.sh"
launcher=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log=$work/log
timeout=$(command -v timeout)
unset TARVEX_HELPERS_LOG

mkdir -p "$work/bin" "$work/empty" "$work/tmp"
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
sleep "${SETUP_TEST_SLEEP:-0.3}"
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
    (cd "$folder" && PATH=$search SETUP_TEST_LOG=$log TMPDIR=$work/tmp "$timeout" 60 "$program" \
        "$@" >"$work/out" 2>"$work/err")
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
# A script without "#!" runs through the shell; a binary the kernel refuses does not.
# shellcheck disable=SC2016 # the script expands its own arguments
printf 'echo "start|$0|$#|$*" >>"$SETUP_TEST_LOG"\necho "end|$0" >>"$SETUP_TEST_LOG"\n' >"$dir/no-shebang.exe"
printf 'MZ\0\0\n' >"$dir/binary.exe"
chmod +x "$dir/no-shebang.exe" "$dir/binary.exe"
release=$work/release
listing=$(find "$dir" "$work/tmp" -mindepth 1 | LC_ALL=C sort)
SETUP_TEST_RELEASE=$release run discovery "$dir" "$tools" ./Setup
wait_for '^start|xdg-open' 2
check "discovery: no file appears" "$listing" "$(find "$dir" "$work/tmp" -mindepth 1 | LC_ALL=C sort)"
check "discovery: programs" \
    "$(printf 'start|%s|1|/passive\n' "$dir"/{a.exe,a.msi.exe,b.exe,café.exe,no-shebang.exe,tool.exe.config} | sort)" \
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

# The launcher started as setup.exe beside Setup.exe, a renamed copy, a link, and a build with
# one byte more: copies are never started, and a launcher started from a launcher of its own
# folder starts nothing, so each package runs once and the run ends.
self="$work/self"
mkdir "$self"
for name in Setup.exe setup.exe setup2.exe; do cp "$launcher" "$self/$name"; done
ln -s setup.exe "$self/link.exe"
{ cat "$launcher"; echo; } >"$self/other-build.exe"
chmod +x "$self/other-build.exe"
package "$self"/{a.exe,b.exe}
touch "$self/c.msi"
run "copies" "$self" "$tools" ./setup.exe
wait_for '^end|xdg-open' 1
check "copies: each package once" "$(printf '%s\n' "start|$self/a.exe|1|/passive" \
    "start|$self/b.exe|1|/passive" "start|xdg-open|1|$self/c.msi")" "$(grep '^start' "$log" | sort)"

# The support log: what was found, started (with its exit code) and skipped, and why; the packages
# inherit the variable. A log that cannot be written changes nothing.
logged=$work/logged
mkdir "$logged"
cp "$launcher" "$logged/Setup"
cp "$launcher" "$logged/copy.exe"
# shellcheck disable=SC2016 # the script expands its own variables
printf '#!/bin/sh\necho "start|$0|$TARVEX_HELPERS_LOG" >>"$SETUP_TEST_LOG"\nexit 3\n' >"$logged/three.exe"
chmod +x "$logged/three.exe"
touch "$logged/c.msi"
XDG_DATA_HOME=$work/xdg TARVEX_HELPERS_LOG=$work/support.log run "support log" "$logged" "$tools" ./Setup
wait_for '^start|xdg-open' 1
check "support log: inherited" "start|$logged/three.exe|$work/support.log" "$(grep '^start|/' "$log")"
lines=$(sed -E 's/^[0-9-]{10} [0-9:.]{12}Z Setup\[[0-9]+\] //; s/after [0-9]+ ms/after T ms/' \
    "$work/support.log")
check "support log: lines" "$(printf '%s\n' \
    "started: Setup $(sed -n 's/^project(.* VERSION \([0-9.]*\) .*/\1/p' \
        "$(dirname "$0")/../../CMakeLists.txt"), command line \"./Setup\", $(uname -s) $(uname -r), data folder \"$work/xdg\"" \
    "found program package \"copy.exe\"" "found program package \"three.exe\"" \
    "found installer package \"c.msi\"" \
    "version gate: Windows 0.0 reported, program packages run" \
    "skipped \"$logged/copy.exe\": the launcher itself or a copy of it" \
    "starting \"$logged/three.exe\" /passive" \
    "\"$logged/three.exe\" ended with exit code 3 after T ms" \
    "handed \"$logged/c.msi\" to the shell's open action" "ended after T ms" | LC_ALL=C sort)" \
    "$(printf '%s\n' "$lines" | LC_ALL=C sort)"
mkdir "$work/log-folder"
TARVEX_HELPERS_LOG=$work/log-folder run "log on a folder" "$logged" "$tools" ./Setup
wait_for '^start|xdg-open' 1
check "log on a folder: same starts" "start|$logged/three.exe|$work/log-folder" \
    "$(grep '^start|/' "$log")"
check "log on a folder: nothing written" "" "$(ls -A "$work/log-folder")"

# One run per folder at a time, whatever the path and the environment: a package that starts
# the launcher of its folder again, through a link, another spelling or a cleared environment,
# starts nothing more; the stale variable of earlier versions silences nothing; and once a run
# has ended, the next one runs.
guard=$work/guard
mkdir "$guard"
ln -s "$guard" "$work/guard-link"
cp "$launcher" "$guard/Setup"
package "$guard/a.exe"
cat >"$guard/restart.exe" <<'SCRIPT'
#!/bin/sh
echo "start|$0|$#|$*" >>"$SETUP_TEST_LOG"
[ -n "${SETUP_TEST_NESTED:-}" ] && exit 0
export SETUP_TEST_NESTED=1
"$SETUP_TEST_GUARD-link/Setup"
env -i SETUP_TEST_LOG="$SETUP_TEST_LOG" SETUP_TEST_NESTED=1 "$SETUP_TEST_GUARD/./Setup"
(cd "$SETUP_TEST_GUARD" && ./Setup)
SCRIPT
chmod +x "$guard/restart.exe"
SETUP_TEST_GUARD=$guard run "restarted" "$work" "$tools" "$guard/Setup"
check "restarted: each package once" "$(printf 'start|%s|1|/passive\n' "$guard"/{a.exe,restart.exe})" \
    "$(grep '^start' "$log" | sort)"
SETUP_LAUNCHER_OWN_FOLDER=$guard run "stale variable" "$guard" "$tools" ./Setup -e a.exe
check "stale variable: runs" "start|$guard/a.exe|1|/passive" "$(grep '^start' "$log")"

# Any user may bind a name in the abstract socket namespace: a holder of the folder's name that
# runs as this user silences the launcher; one planted by another user does not.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && command -v perl >/dev/null; then
    read -r device inode < <(stat -c '%d %i' "$guard")
    name=$(printf 'SetupLauncher.0.V%016XI%016X' "$device" "$inode")
    for holder in 0:held 65534:runs; do
        : >"$work/holder"
        # shellcheck disable=SC2016 # perl's own variables
        setpriv --reuid="${holder%%:*}" --regid="${holder%%:*}" --clear-groups perl -MSocket -e '
            my $s;
            socket($s, PF_UNIX, SOCK_STREAM, 0) && bind($s, pack_sockaddr_un("\0" . $ARGV[0]))
                && listen($s, 5) or exit 1;
            $| = 1; print "ready\n"; sleep 30' "$name" >"$work/holder" &
        planter=$!
        for _ in $(seq 100); do [ -s "$work/holder" ] && break; sleep 0.1; done
        run "holder ${holder%%:*}" "$guard" "$tools" ./Setup -e a.exe
        kill $planter 2>/dev/null
        wait $planter 2>/dev/null
        expected=""
        [ "${holder#*:}" == runs ] && expected="start|$guard/a.exe|1|/passive"
        check "holder ${holder%%:*}: ${holder#*:}" "$expected" "$(grep '^start' "$log")"
    done
else
    echo "skipped: a holder of another user needs root, setpriv and perl"
fi

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

# xdg-open is looked for in absolute PATH entries only: an empty or a relative entry would run
# the one planted in the current folder. One without "#!" runs through the shell.
planted=$work/planted
mkdir -p "$planted/rel" "$work/plain"
# shellcheck disable=SC2016 # the scripts expand their own arguments
for opener in "$planted/xdg-open" "$planted/rel/xdg-open"; do
    printf '#!/bin/sh\necho "start|planted|$#|$*" >>"$SETUP_TEST_LOG"\n' >"$opener"
done
# shellcheck disable=SC2016
printf 'echo "start|plain xdg-open|$#|$*" >>"$SETUP_TEST_LOG"\n' >"$work/plain/xdg-open"
chmod +x "$planted/xdg-open" "$planted/rel/xdg-open" "$work/plain/xdg-open"
cp "$launcher" "$planted/Setup"
touch "$planted/c.msi"
run "opener search" "$planted" ":.:rel:$work/plain" ./Setup
wait_for '^start' 1
check "opener search: absolute entry, through the shell" "start|plain xdg-open|1|$planted/c.msi" \
    "$(cat "$log")"

# Closing the terminal (SIGHUP) does not end the run half way; SIGTERM still does.
signals=$work/signals
mkdir "$signals"
cp "$launcher" "$signals/Setup"
package "$signals"/{a.exe,b.exe}
for signal in HUP TERM; do
    : >"$log"
    (cd "$signals" && PATH=$tools SETUP_TEST_LOG=$log SETUP_TEST_SLEEP=1 exec ./Setup) &
    pid=$!
    (sleep 30 && kill -KILL $pid 2>/dev/null) &
    watchdog=$!
    wait_for '^start' 1
    kill -$signal $pid
    wait $pid
    status=$?
    kill $watchdog 2>/dev/null
    if [ $signal == HUP ]; then
        wait_for '^end' 2
        check "SIGHUP: exit status" 0 $status
        check "SIGHUP: both packages" 2 "$(grep -c '^end' "$log")"
    else
        wait_for '^end' 1
        sleep 0.5
        check "SIGTERM: exit status" 143 $status
        check "SIGTERM: the running package only" "start|$signals/a.exe|1|/passive" \
            "$(grep '^start' "$log")"
    fi
done

# A launcher at the root of its file system lists the root and joins it to a name with one "/".
# A launcher whose own path is too long to read (past 4,096 bytes) finds nothing beside it and
# starts relative entries nowhere, not under "/"; absolute ones still run. Both run in a mount
# namespace, in a root of their own that holds the launcher, /bin/sh and their libraries.
root=$work/root
mkdir "$root"
if unshare --mount --propagation private true 2>/dev/null; then
    unshare --mount --propagation private bash -s "$root" "$launcher" "$work" <<'ROOT'
set -u
root=$1 launcher=$2 out=$3
mount -t tmpfs tmpfs "$root" || exit 1
mkdir "$root/proc" "$root/out"
mount -t proc proc "$root/proc"
libraries=$(ldd "$launcher" /bin/sh | awk '$2 == "=>" { print $3 } $1 ~ /^\// && $2 ~ /^\(/ { print $1 }')
for file in /bin/sh $libraries; do
    cp -L --parents "$file" "$root"
done
cp "$launcher" "$root/Setup"
for name in a.exe b.exe; do
    printf '#!/bin/sh\necho "start|$0|$#|$*" >>/out/log\n' >"$root/$name"
    chmod +x "$root/$name"
done
touch "$root/out/log" "$root/c.msi"
chroot "$root" /Setup >"$root/out/output" 2>&1
echo $? | cat - "$root/out/output" >"$out/root-result"
mv "$root/out/log" "$out/root-log"

part=$(printf 'd%.0s' $(seq 250))
(cd "$root" && for _ in $(seq 18); do mkdir "$part" && cd "$part"; done && cp "$launcher" Setup)
touch "$root/out/log"
# Step by step: no path of this length can be handed to the system at once.
chroot "$root" /bin/sh -c 'for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18; do
    cd -P "$1" || exit 1; done; exec ./Setup -e "a.exe;/b.exe"' sh "$part" >"$root/out/output" 2>&1
# A sanitizer build notes that it could not read the path either; that note is not ours.
echo $? | cat - "$root/out/output" | grep -v 'WARNING: reading executable name failed' \
    >"$out/deep-result"
mv "$root/out/log" "$out/deep-log"
ROOT
    check "root: exit status and output" 0 "$(cat "$work/root-result")"
    check "root: packages" "$(printf 'start|/%s|1|/passive\n' a.exe b.exe)" "$(sort "$work/root-log")"
    check "unknown folder: exit status and output" 0 "$(cat "$work/deep-result")"
    check "unknown folder: absolute entry only" "start|/b.exe|1|/passive" "$(cat "$work/deep-log")"
else
    echo "skipped: no mount namespace for the launcher at a root and the unknown folder"
fi

finish
