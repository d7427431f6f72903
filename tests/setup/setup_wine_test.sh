#!/usr/bin/env bash
# End-to-end runs of Setup.exe under Wine. The recorder, copied under package names, logs every
# start; "open" on .msi is associated (under HKCR) with a copy named opener.exe; the version
# Wine reports to Setup.exe is set per program through Wine's own AppDefaults setting.
# Usage: setup_wine_test.sh WINE_RUN WINE_PREFIX SETUP_EXE RECORDER_EXE
set -u
. "$(dirname "$0")/end_to_end_checks.sh"
wine_run=$1
prefix=$2
launcher=$3
recorder=$4
work=$(mktemp -d)
timeout=$(command -v timeout)

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

# Wine's own tools, never with the test runner's pipes as their output.
wine_tool() { "$wine_run" "$prefix" "$@" </dev/null >"$work/tool.out" 2>/dev/null; }

app_key='HKCU\Software\Wine\AppDefaults\Setup.exe'
wine_tool reg query 'HKCR\.msi' /ve
msi_type=$(sed -n 's/.*REG_SZ *//p' "$work/tool.out" | tr -d '\r')
cleanup() {
    wine_tool reg delete "$app_key" /f
    wine_tool reg delete 'HKCR\SetupTestPackage' /f
    if [ -n "$msi_type" ]; then
        wine_tool reg add 'HKCR\.msi' /ve /t REG_SZ /d "$msi_type" /f
    fi
    rm -rf "$work"
}
trap cleanup EXIT

cp "$recorder" "$work/opener.exe"
wine_tool reg add 'HKCR\SetupTestPackage\shell\open\command' /ve /t REG_SZ \
    /d "\"$(windows_path "$work/opener.exe")\" \"%1\"" /f
wine_tool reg add 'HKCR\.msi' /ve /t REG_SZ /d SetupTestPackage /f

set_version() { wine_tool reg add "$app_key" /v Version /t REG_SZ /d "$1" /f; }

log=
run_number=0
# Runs the launcher from a folder; checks the exit status and that nothing was printed.
run() { # what folder program [args...]
    local what=$1 folder=$2 program=$3
    shift 3
    run_number=$((run_number + 1))
    log=$work/log$run_number
    : >"$log"
    (cd "$folder" && SETUP_TEST_LOG=$(windows_path "$log") "$timeout" 120 \
        "$wine_run" "$prefix" "$program" "$@" >"$work/out" 2>"$work/err")
    check "$what: exit status" 0 $?
    check "$what: output" "" "$(cat "$work/out" "$work/err")"
}

package_folder() { # folder names...
    local folder=$1
    shift
    mkdir -p "$folder"
    for name in "$@"; do cp "$recorder" "$folder/$name"; done
}

# The gate on the version that GetVersionExW really reports.
gate=$work/gate
package_folder "$gate" a.exe b.exe
cp "$launcher" "$gate/Setup.exe"
touch "$gate/c.msi"
for case in winxp:open win2003:open vista:open win7:closed win8:closed win81:closed; do
    set_version "${case%%:*}"
    run "version ${case%%:*}" "$gate" ./Setup.exe
    wait_for '^end|opener' 1
    expected=""
    if [ "${case#*:}" == open ]; then
        expected=$(printf '%s\n' "start|a.exe|1|/passive" "start|b.exe|1|/passive")
    fi
    check "version ${case%%:*}: programs" "$expected" "$(grep -v opener "$log" | grep '^start' | sort)"
    check "version ${case%%:*}: order and waiting" ok "$(sequence_ok opener.exe)"
    check "version ${case%%:*}: open" "start|opener.exe|1|$(windows_path "$gate/c.msi")" \
        "$(grep '^start|opener' "$log")"
done

# Discovery in a folder outside ASCII, with names outside ASCII and every kind of name.
set_version winxp
dir="$work/pkg é中"
package_folder "$dir" a.exe café.exe 中文.exe a.msi.exe MySetup.exe RUNTIME.EXE
cp "$launcher" "$dir/Setup.exe"
mkdir "$dir/tools.exe"
# Listed, but neither starts: Wine would run a program under any name, so these are text.
echo "not a program" >"$dir/tool.exe.config"
echo "not a program" >"$dir/fake.exe"
touch "$dir"/{c.msi,Setup.exe.msi,readme.txt}
release=$work/release
SETUP_TEST_RELEASE=$(windows_path "$release") run discovery "$dir" ./Setup.exe
wait_for '^start|opener' 2
check "discovery: programs" "$(printf 'start|%s|1|/passive\n' a.exe a.msi.exe café.exe 中文.exe | sort)" \
    "$(grep -v opener "$log" | grep '^start' | sort)"
check "discovery: order and waiting" ok "$(sequence_ok opener.exe)"
check "discovery: opens" "$(printf 'start|opener.exe|1|%s\n' "$(windows_path "$dir")"\\{Setup.exe.msi,c.msi})" \
    "$(grep '^start|opener' "$log" | sort)"
check "discovery: opener not waited for" "" "$(grep '^end|opener' "$log")"
touch "$release"
wait_for '^end|opener' 2
check "discovery: opener released" 2 "$(grep -c '^end|opener' "$log")"

# Command-line entries, in order; relative ones (also outside ASCII) beside the launcher.
package_folder "$work/other" x.exe
run "command line" "$work" "$dir/Setup.exe" \
    -e "a.msi.exe;;$(windows_path "$work/other/x.exe");café.exe;" -m "c.msi"
wait_for '^end|opener' 1
check "command line: sequence" "$(printf '%s\n' "start|a.msi.exe|1|/passive" "end|a.msi.exe" \
    "start|x.exe|1|/passive" "end|x.exe" "start|café.exe|1|/passive" "end|café.exe" \
    "start|opener.exe|1|$(windows_path "$dir")\\c.msi" "end|opener.exe")" "$(cat "$log")"

# A copy named setup.exe, started by that name, starts every other package once.
self=$work/self
package_folder "$self" a.exe b.exe
cp "$launcher" "$self/setup.exe"
touch "$self/c.msi"
run "self-exclusion" "$self" ./setup.exe
wait_for '^end|opener' 1
check "self-exclusion: each package once" "$(printf '%s\n' "start|a.exe|1|/passive" \
    "start|b.exe|1|/passive" "start|opener.exe|1|$(windows_path "$self")\\c.msi")" \
    "$(grep '^start' "$log" | sort)"

finish
