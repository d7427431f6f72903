#!/usr/bin/env bash
# End-to-end runs of Setup.exe under Wine. The recorder, copied under package names, logs every
# start; "open" on .msi is associated (under HKCR) with a copy named opener.exe; the version
# Wine reports to Setup.exe is set per program through Wine's own AppDefaults setting.
# Usage: setup_wine_test.sh WINE_RUN WINE_PREFIX SETUP_EXE RECORDER_EXE
set -u
# shellcheck source=tests/setup/end_to_end_checks.sh
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
# A drive letter of its own for the runs at a drive root: the first free one.
drive_letter=
for letter in S T U V W X Y; do
    if [ ! -e "$prefix/dosdevices/${letter,}:" ] && [ ! -L "$prefix/dosdevices/${letter,}:" ]; then
        drive_letter=$letter
        break
    fi
done
# Another, mapped to a package folder that Z: reaches too.
guard_letter=
for letter in R Q P O N; do
    if [ ! -e "$prefix/dosdevices/${letter,}:" ] && [ ! -L "$prefix/dosdevices/${letter,}:" ]; then
        guard_letter=$letter
        break
    fi
done
cleanup() {
    wine_tool reg delete "$app_key" /f
    wine_tool reg delete 'HKCR\SetupTestPackage' /f
    if [ -n "$msi_type" ]; then
        wine_tool reg add 'HKCR\.msi' /ve /t REG_SZ /d "$msi_type" /f
    fi
    if [ -n "$drive_letter" ]; then
        rm -f "$prefix/dosdevices/${drive_letter,}:"
    fi
    if [ -n "$guard_letter" ]; then
        rm -f "$prefix/dosdevices/${guard_letter,}:"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Wine's null graphics driver opens windows without a display, so that a dialog waiting for a
# click blocks here as it would on a desktop. Every run sets it, and it stays set: all Wine
# tests of the prefix see the same driver.
wine_tool reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f

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

# The gate on the version that GetVersionExW really reports, for each Windows Wine can report
# (Wine 8 knows no Windows 11): the package README's table says what happens there, and the run
# must do just that.
readme=$(dirname "$0")/../../packaging/README.txt.in
readme_says() { # row: "started" or "not started" from the table's row of that Windows
    sed -n "s/^        $1[ ,].*  \(not started\|started\)\$/\1/p" "$readme"
}
gate=$work/gate
package_folder "$gate" a.exe b.exe
cp "$launcher" "$gate/Setup.exe"
touch "$gate/c.msi"
for case in winxp:XP win2003:"Server 2003" vista:Vista win2008:Vista win7:7 win2008r2:7 win8:8 \
    win81:8.1 win10:10; do
    version=${case%%:*}
    says=$(readme_says "${case#*:}")
    check "version $version: the README's row ${case#*:}" yes \
        "$([ "$says" == started ] || [ "$says" == "not started" ] && echo yes)"
    set_version "$version"
    run "version $version" "$gate" ./Setup.exe
    wait_for '^end|opener' 1
    expected=""
    if [ "$says" == started ]; then
        expected=$(printf '%s\n' "start|a.exe|1|/passive" "start|b.exe|1|/passive")
    fi
    check "version $version: programs" "$expected" "$(grep -v opener "$log" | grep '^start' | sort)"
    check "version $version: order and waiting" ok "$(sequence_ok opener.exe)"
    check "version $version: open" "start|opener.exe|1|$(windows_path "$gate/c.msi")" \
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

# The launcher started as setup.exe beside Setup.exe, a renamed copy and a build with one byte
# more: copies are never started, and a launcher started from a launcher of its own folder
# starts nothing, so each package runs once and the run ends.
self=$work/self
package_folder "$self" a.exe b.exe
for name in Setup.exe setup.exe setup2.exe; do cp "$launcher" "$self/$name"; done
{ cat "$launcher"; echo; } >"$self/other-build.exe"
touch "$self/c.msi"
run "copies" "$self" ./setup.exe
wait_for '^end|opener' 1
check "copies: each package once" "$(printf '%s\n' "start|a.exe|1|/passive" \
    "start|b.exe|1|/passive" "start|opener.exe|1|$(windows_path "$self")\\c.msi")" \
    "$(grep '^start' "$log" | sort)"

# One run per folder at a time, by the system: a package that starts the launcher of its folder
# again, through another spelling of the folder or with a cleared environment, starts nothing
# more; the variable earlier versions used silences nothing; and once a run has ended, the next
# one runs.
guard=$work/guard
package_folder "$guard" a.exe restart.exe
cp "$launcher" "$guard/Setup.exe"
guard_path=$(windows_path "$guard")
restarts="z${guard_path#Z}\\setup.exe|\\\\?\\$guard_path\\Setup.exe|-$guard_path\\Setup.exe"
if [ -n "$guard_letter" ]; then
    ln -s "$guard" "$prefix/dosdevices/${guard_letter,}:"
    restarts+="|$guard_letter:\\Setup.exe"
else
    echo "skipped: no free drive letter for a second one mapped to a package folder"
fi
SETUP_TEST_RESTART=$restarts run "restarted" "$guard" ./Setup.exe
check "restarted: each package once" "$(printf 'start|%s|1|/passive\n' a.exe restart.exe)" \
    "$(grep '^start' "$log" | sort)"
check "restarted: every launcher started" "$(tr '|' '\n' <<<"$restarts" | sed 's/.*/restarted|yes/')" \
    "$(grep '^restarted' "$log")"
SETUP_LAUNCHER_OWN_FOLDER=$guard_path run "stale variable" "$guard" ./Setup.exe -e a.exe
check "stale variable: runs" "start|a.exe|1|/passive" "$(grep '^start' "$log")"

# Folders named like devices are folders: the launcher lists them and starts what they hold.
for device in aux com1 nul; do
    package_folder "$work/$device" a.exe
    cp "$launcher" "$work/$device/Setup.exe"
    run "folder $device" "$work" "$work/$device/Setup.exe"
    check "folder $device: started" "start|a.exe|1|/passive" "$(grep '^start' "$log")"
done

# A file the shell cannot start (text named fake.exe) is skipped without an error box that
# would wait for a click: the package after it runs, and the launcher ends.
fake=$work/fake
package_folder "$fake" z.exe
cp "$launcher" "$fake/Setup.exe"
echo "not a program" >"$fake/fake.exe"
SECONDS=0
run "no error box" "$fake" ./Setup.exe
check "no error box: ended within seconds" yes "$([ $SECONDS -lt 30 ] && echo yes)"
check "no error box: z.exe once" "start|z.exe|1|/passive" "$(grep '^start' "$log")"

# Names the shell would take for another file are skipped: "a.exe." reaches a.exe, and a path
# of MAX_PATH characters or more makes the shell start the previous package again.
paths=$work/paths
# "Z:", the folder, one separator and the name: 260 characters in all.
fill=$((260 - 2 - ${#paths} - 1 - 4))
package_folder "$paths" a.exe "a.exe." "$(printf 'l%.0s' $(seq $fill)).exe"
cp "$launcher" "$paths/Setup.exe"
run "shell paths" "$paths" ./Setup.exe
check "shell paths: a.exe once" "start|a.exe|1|/passive" "$(grep '^start' "$log")"

# While it waits for a package the launcher answers messages sent to its windows (its COM
# apartment has one), so a package that sends it one is not held until the launcher ends.
messages=$work/messages
package_folder "$messages" a.exe
cp "$launcher" "$messages/Setup.exe"
SETUP_TEST_SEND_TO_PARENT=1 run "messages" "$messages" ./Setup.exe
answered=$(grep '^answered' "$log")
windows=${answered##*|}
check "messages: the launcher has windows" yes "$([ "${windows:-0}" -gt 0 ] && echo yes)"
check "messages: every window answered" "answered|$windows|$windows" "$answered"

# A launcher at the root of a drive lists the root, not the current folder of that drive, and
# joins the root to a name with one "\". Started from a sub-folder of the drive, as from a
# prompt there.
if [ -n "$drive_letter" ]; then
    drive=$work/drive
    package_folder "$drive" a.exe
    package_folder "$drive/sub" b.exe
    cp "$launcher" "$drive/Setup.exe"
    touch "$drive/c.msi"
    ln -s "$drive" "$prefix/dosdevices/${drive_letter,}:"
    run "drive root" "$work" cmd /c "cd /d $drive_letter:\\sub && $drive_letter:\\Setup.exe"
    wait_for '^end|opener' 1
    check "drive root: packages" "$(printf '%s\n' "start|a.exe|1|/passive" \
        "start|opener.exe|1|$drive_letter:\\c.msi")" "$(grep '^start' "$log" | sort)"
else
    echo "skipped: no free drive letter for the launcher at a drive root"
fi

# The support log of two runs in one file, the gate open and then closed: what was found,
# started (with its exit code), skipped and why, and handed to the shell.
logged=$work/logged
package_folder "$logged" a.exe "b.exe."
cp "$launcher" "$logged/Setup.exe"
cp "$launcher" "$logged/copy.exe"
touch "$logged/c.msi"
support_log=$work/support.log
at=$(windows_path "$logged")
for version in winxp win7; do
    set_version $version
    TARVEX_HELPERS_LOG=$(windows_path "$support_log") run "support log $version" "$logged" ./Setup.exe
    wait_for '^end|opener' 1
done
check "support log: a BOM, once" "efbbbf 1" \
    "$(head -c 3 "$support_log" | od -An -tx1 | tr -d ' ') $(grep -c $'\xEF\xBB\xBF' "$support_log")"
lines=$(sed -E '1s/^\xEF\xBB\xBF//; s/\r$//; s/^[0-9-]{10} [0-9:.]{12}Z Setup\[[0-9]+\] //;
    s/after [0-9]+ ms/after T ms/' "$support_log")
check "support log: first lines" 2 "$(grep -c -E '^started: Setup [0-9.]+, command line .*Setup\.exe"?, Windows (5\.1|6\.1)\.[0-9]+.*, data folder "C:\\.*"$' <<<"$lines")"
while IFS= read -r line; do
    check "support log: $line" 1 "$(grep -c -x -F -- "$line" <<<"$lines")"
done <<EXPECTED
version gate: Windows 5.1 reported, program packages run
skipped "$at\b.exe.": a name the shell cannot take
skipped "$at\copy.exe": the launcher itself or a copy of it
starting "$at\a.exe" /passive
"$at\a.exe" ended with exit code 0 after T ms
version gate: Windows 6.1 reported, program packages skipped
skipped "a.exe": the version gate is closed
EXPECTED
check "support log: found in each run" "2 2" "$(grep -c -x -F 'found program package "a.exe"' <<<"$lines") $(
    grep -c -x -F 'found installer package "c.msi"' <<<"$lines")"
check "support log: handed to the shell" 2 "$(grep -c -x -F "handed \"$at\c.msi\" to the shell's open action" <<<"$lines")"
check "support log: last lines" 2 "$(grep -c -x -F 'ended after T ms' <<<"$lines")"

finish
