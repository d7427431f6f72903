#!/usr/bin/env bash
# Runs the built Zentrel on one case folder and checks the result.
# Usage: run_case.sh [--regenerate] PROGRAM CASE_FOLDER [WINE_RUN WINE_PREFIX]
# --regenerate (natively only) writes what the run gave into the case's expect, languages and
# expected/ files instead of failing on a difference: scripts/regenerate-golden uses it.
#
# A case folder holds:
#   data/        the files placed in the local application-data folder before the run
#   data-from    instead of data/: the name of a sibling case whose data/ to use
#   links        symbolic links to add, one per line: LINK<TAB>TARGET (LINK relative to data/)
#   args         the arguments, one per line (no file: no argument)
#   env          NAME=VALUE to set or -NAME to unset, one per line; {work} is the scratch folder,
#                {log} the support log's path in it (as the program names it)
#   read-only    files (names as in expect) made read-only before the run, one per line
#   native-data  natively, where data/ goes, relative to the scratch folder (default xdg,
#                which is XDG_DATA_HOME; HOME is {work}/home)
#   expect       checks, tab-separated (file "net1"/"net2" name the two network settings files):
#                  value FILE SECTION KEY TEXT   the key reads back as TEXT
#                  absent FILE SECTION KEY       the key is missing or empty
#                  keys FILE SECTION "K1 K2 ..." the section's keys, in this order
#                  unchanged FILE                the file's bytes are as before the run
#                  folder PATH                   PATH is still a folder
#                  log REGEX                     a line of the support log matches (grep -E);
#                                                then the case also runs with a log that cannot
#                                                be written (a folder, a read-only file; natively
#                                                a FIFO without reader, and as root another
#                                                user's link and a full disk), with the same
#                                                results
#   languages    runs the case once per line: ENV-ASSIGNMENTS<TAB>ZONAL<TAB>both|native, and
#                checks SCAN_PROFILE_0's ZonalOCRLanguage of net1 against ZONAL
#   expected/    natively: the exact bytes of these files after the run
# Every run must exit 0 and print nothing; no file may appear or vanish, natively neither in the
# current folder nor in the temporary one. Natively a second run must change no byte.
# pass never fails, so "test && pass || fail" here is an if-then-else.
# shellcheck disable=SC2015
set -u

regenerate=0
log_unwritable=""
if [ "${1:-}" == --regenerate ]; then
    regenerate=1
    shift
fi
program=$(realpath "$1")
case_dir=$2
wine_run=${3:-}
wine_prefix=${4:-}
case_name=$(basename "$case_dir")

[ $regenerate -eq 0 ] || [ -z "$wine_prefix" ] || { echo "--regenerate runs natively only"; exit 2; }

net1="Tarvex/Tarvex Scan Twain/Tarvex Netcapture Line 6600sx2/Velmora.ini"
net2="Tarvex/Tarvex Scan Twain/Tarvex Feedline K7740 sx2/Velmora.ini"

failures=0
checks=0
fail() {
    echo "FAIL [$case_name${run_label:+ $run_label}]: $*"
    failures=$((failures + 1))
}
pass() { checks=$((checks + 1)); }

work=$(mktemp -d)
mkdir "$work/cwd" "$work/tmp"
data=""
placed=()
full_disk=""
log=$work/support.log
log_named=$log
[ -n "$wine_prefix" ] && log_named="Z:${log//\//\\}"

cleanup() {
    if [ -n "$wine_prefix" ] && [ -n "$data" ]; then
        for entry in "${placed[@]}"; do
            rm -rf -- "${data:?}/$entry"
        done
    fi
    [ -n "$full_disk" ] && umount "$full_disk"
    rm -rf -- "$work"
}
trap cleanup EXIT

source_data=$case_dir/data
if [ -f "$case_dir/data-from" ]; then
    source_data=$(dirname "$case_dir")/$(cat "$case_dir/data-from")/data
fi
[ -d "$source_data" ] || { echo "no data for $case_name"; exit 2; }

if [ -n "$wine_prefix" ]; then
    data=$wine_prefix/drive_c/users/$(id -un)/AppData/Local
    [ -d "$data" ] || { echo "no local application-data folder in $wine_prefix"; exit 2; }
    mapfile -t placed < <(ls -A "$source_data")
else
    data=$work/$(cat "$case_dir/native-data" 2>/dev/null || echo xdg)
fi

alias_path() {
    case $1 in
    net1) echo "$net1" ;;
    net2) echo "$net2" ;;
    *) echo "$1" ;;
    esac
}

# The value of KEY in the first section SECTION, as the profile functions read it: names
# without regard to ASCII case and trimmed, the value trimmed and one pair of quotes removed.
# Exits 1 when the key is missing or empty.
ini_value() {
    awk -v want_section="$2" -v want_key="$3" '
        function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
        BEGIN { want_section = tolower(want_section); want_key = tolower(want_key) }
        { sub(/\r$/, ""); line = trim($0) }
        substr(line, 1, 1) == "[" {
            if (inside) exit
            name = substr(line, 2); sub(/\][^\]]*$/, "", name)
            inside = !seen && tolower(trim(name)) == want_section
            seen = seen || inside
            next
        }
        inside && (eq = index(line, "=")) > 0 && tolower(trim(substr(line, 1, eq - 1))) == want_key {
            value = trim(substr(line, eq + 1))
            first = substr(value, 1, 1); last = substr(value, length(value), 1)
            if (length(value) >= 2 && first == last && (first == "\"" || first == "\x27"))
                value = substr(value, 2, length(value) - 2)
            if (value != "") { print value; found = 1 }
            exit
        }
        END { exit found ? 0 : 1 }' "$1"
}

# The key names of the first section SECTION, space-separated.
ini_keys() {
    awk -v want_section="$2" '
        function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
        BEGIN { want_section = tolower(want_section) }
        { sub(/\r$/, ""); line = trim($0) }
        substr(line, 1, 1) == "[" {
            if (inside) exit
            name = substr(line, 2); sub(/\][^\]]*$/, "", name)
            inside = !seen && tolower(trim(name)) == want_section
            seen = seen || inside
            next
        }
        inside && (first = substr(line, 1, 1)) != ";" && first != "#" && (eq = index(line, "=")) > 0 {
            keys = keys (keys == "" ? "" : " ") trim(substr(line, 1, eq - 1))
        }
        END { print keys }' "$1"
}

tree_listing() {
    (cd "$1" && find "${@:2}" -mindepth 0 | LC_ALL=C sort)
}

place_data() {
    mkdir -p "$data"
    for entry in "${placed[@]}"; do
        rm -rf -- "${data:?}/$entry"
    done
    cp -a "$source_data/." "$data/"
    if [ -f "$case_dir/read-only" ]; then
        while IFS= read -r name; do
            [ -n "$name" ] && chmod a-w "$data/$(alias_path "$name")"
        done <"$case_dir/read-only"
    fi
    if [ -f "$case_dir/links" ]; then
        while IFS=$'\t' read -r link target; do
            [ -n "$link" ] && ln -s "$target" "$data/$link"
        done <"$case_dir/links"
    fi
    rm -rf "$work/before"
    mkdir -p "$work/before"
    cp -a "$data/." "$work/before/"
}

# Runs the program with the case's arguments and environment plus any extra assignments. The
# environment goes through env(1), so that this shell never switches to the case's locale.
run_program() {
    local args=() assignments=() assignment name
    [ -f "$case_dir/args" ] && mapfile -t args <"$case_dir/args"
    [ -f "$case_dir/env" ] && mapfile -t assignments <"$case_dir/env"
    local -A values=([LC_ALL]=C)
    local removed=(LANG LANGUAGE LC_MESSAGES LC_CTYPE TARVEX_HELPERS_LOG)
    if [ -z "$wine_prefix" ]; then
        values[XDG_DATA_HOME]=$work/xdg
        values[HOME]=$work/home
        values[TMPDIR]=$work/tmp
    fi
    for assignment in "${assignments[@]}" "$@"; do
        assignment=${assignment//\{log\}/$log_named}
        assignment=${assignment//\{work\}/$work}
        case $assignment in
        "") ;;
        -*)
            unset "values[${assignment#-}]"
            removed+=("${assignment#-}")
            ;;
        *) values[${assignment%%=*}]=${assignment#*=} ;;
        esac
    done
    local env_args=()
    for name in "${removed[@]}" "${!values[@]}"; do
        env_args+=(-u "$name")
    done
    for name in "${!values[@]}"; do
        env_args+=("$name=${values[$name]}")
    done
    local command=("$program")
    [ -n "$wine_prefix" ] && command=("$wine_run" "$wine_prefix" "$program")
    (cd "$work/cwd" &&
        env "${env_args[@]}" "${command[@]}" "${args[@]}" >"$work/stdout" 2>"$work/stderr" </dev/null)
    local status=$?
    if [ -n "$wine_prefix" ]; then
        # The runner is a bash script, and bash warns about a locale the machine has not
        # generated; Wine still takes the language from LC_ALL. That line is not the program's.
        sed -i '/^bash: warning: setlocale: LC_ALL: cannot change locale/d' "$work/stderr"
    fi
    return $status
}

check_run() {
    local status=$1
    [ "$status" -eq 0 ] && pass || fail "exit status $status"
    if [ -s "$work/stdout" ] || [ -s "$work/stderr" ]; then
        fail "printed something: $(head -c 300 "$work/stdout" "$work/stderr")"
    else
        pass
    fi
    local top=("${placed[@]}")
    [ -z "$wine_prefix" ] && top=(.)
    if [ "$(tree_listing "$work/before" "${top[@]}")" == "$(tree_listing "$data" "${top[@]}")" ]; then
        pass
    else
        fail "files appeared or vanished: $(diff <(tree_listing "$work/before" "${top[@]}") \
            <(tree_listing "$data" "${top[@]}") | grep '^[<>]' | head -5)"
    fi
    local left
    left=$(ls -A "$work/cwd" "$work/tmp")
    [ "$left" == "$(printf '%s:\n\n%s:' "$work/cwd" "$work/tmp")" ] && pass ||
        fail "files appeared in the current or the temporary folder: $left"
}

# With --regenerate, the line that says what the run gave: a value or its absence, a key list.
regenerated() { # name-in-expect section key value-or-empty
    if [ -n "$4" ]; then
        printf 'value\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4"
    else
        printf 'absent\t%s\t%s\t%s\n' "$1" "$2" "$3"
    fi >>"$work/expect.new"
    pass
}

check_expectations() {
    [ -f "$case_dir/expect" ] || return 0
    local line kind name file section key text actual
    : >"$work/expect.new"
    while IFS= read -r line; do
        IFS=$'\t' read -r kind name section key text <<<"$line"
        case $kind in
        "" | "#"*)
            printf '%s\n' "$line" >>"$work/expect.new"
            continue
            ;;
        esac
        file=$(alias_path "$name")
        actual=""
        case $kind in
        value | absent) actual=$(ini_value "$data/$file" "$section" "$key") ;;
        keys) actual=$(ini_keys "$data/$file" "$section") ;;
        esac
        if [ $regenerate -eq 1 ]; then
            case $kind in
            value | absent)
                regenerated "$name" "$section" "$key" "$actual"
                continue
                ;;
            keys)
                printf 'keys\t%s\t%s\t%s\n' "$name" "$section" "$actual" >>"$work/expect.new"
                pass
                continue
                ;;
            esac
            printf '%s\n' "$line" >>"$work/expect.new"
        fi
        case $kind in
        value)
            [ "$actual" == "$text" ] && pass ||
                fail "$file [$section] $key: expected '$text', got '${actual:-<absent>}'"
            ;;
        absent)
            [ -z "$actual" ] && pass || fail "$file [$section] $key: expected no value, got '$actual'"
            ;;
        keys)
            [ "$actual" == "$key" ] && pass ||
                fail "$file [$section]: expected keys '$key', got '$actual'"
            ;;
        unchanged)
            cmp -s "$work/before/$file" "$data/$file" && pass || fail "$file changed"
            ;;
        folder)
            [ -d "$data/$file" ] && pass || fail "$file is no longer a folder"
            ;;
        log)
            if [ -n "$log_unwritable" ]; then
                continue
            fi
            [ -f "$log" ] && sed '1s/^\xEF\xBB\xBF//; s/\r$//' "$log" | grep -E -q -- "$name" && pass ||
                fail "no line of the support log matches '$name'"
            ;;
        *)
            echo "unknown check '$kind' in $case_dir/expect"
            exit 2
            ;;
        esac
    done <"$case_dir/expect"
    if [ $regenerate -eq 1 ]; then cp "$work/expect.new" "$case_dir/expect"; fi
}

check_exact_bytes() {
    [ -z "$wine_prefix" ] && [ -d "$case_dir/expected" ] || return 0
    local file
    while IFS= read -r -d '' file; do
        file=${file#"$case_dir/expected/"}
        if cmp -s "$case_dir/expected/$file" "$data/$file"; then
            pass
        elif [ $regenerate -eq 1 ] && [ -f "$data/$file" ]; then
            cp "$data/$file" "$case_dir/expected/$file"
            pass
        else
            fail "$file differs from expected/:"
            diff -u "$case_dir/expected/$file" "$data/$file" | head -40
        fi
    done < <(find "$case_dir/expected" -type f -print0)
}

# Migrating a migrated file again must not change a byte.
check_rerun() {
    [ -z "$wine_prefix" ] || return 0
    rm -rf "$work/first"
    cp -a "$data" "$work/first"
    run_program "$@"
    local status=$?
    [ "$status" -eq 0 ] && pass || fail "second run: exit status $status"
    diff -r "$work/first" "$data" >/dev/null && pass || fail "second run changed: $(diff -rq "$work/first" "$data" | head -3)"
}

if [ -f "$case_dir/languages" ]; then
    : >"$work/languages.new"
    while IFS= read -r line; do
        IFS=$'\t' read -r assignments zonal platforms <<<"$line"
        case $assignments in
        "" | "#"*)
            printf '%s\n' "$line" >>"$work/languages.new"
            continue
            ;;
        esac
        [ -n "$wine_prefix" ] && [ "$platforms" == native ] && continue
        run_label=$assignments
        read -r -a extra <<<"$assignments"
        place_data
        run_program "${extra[@]}"
        check_run $?
        actual=$(ini_value "$data/$net1" SCAN_PROFILE_0 ZonalOCRLanguage)
        printf '%s\t%s\t%s\n' "$assignments" "$actual" "$platforms" >>"$work/languages.new"
        [ $regenerate -eq 1 ] || [ "$actual" == "$zonal" ] && pass ||
            fail "ZonalOCRLanguage: expected $zonal, got '$actual'"
        check_expectations
        check_rerun "${extra[@]}"
    done <"$case_dir/languages"
    if [ $regenerate -eq 1 ]; then cp "$work/languages.new" "$case_dir/languages"; fi
    run_label=""
else
    place_data
    run_program
    check_run $?
    check_expectations
    check_exact_bytes
    check_rerun
    if grep -q "^log"$'\t' "$case_dir/expect" 2>/dev/null; then
        # On Windows a new log starts with a BOM, so that Notepad of XP reads it as UTF-8.
        if [ -n "$wine_prefix" ]; then
            [ "$(head -c 3 "$log" | od -An -tx1 | tr -d ' ')" == efbbbf ] && pass ||
                fail "the log starts without a BOM"
        fi
        # A log that cannot be written changes nothing else: a folder, a read-only file, and
        # natively a FIFO nobody reads, and as root another user's link and a full disk.
        targets=(folder read-only)
        [ -z "$wine_prefix" ] && targets+=(fifo)
        if [ -z "$wine_prefix" ] && [ "$(id -u)" -eq 0 ]; then
            targets+=(others-link)
        fi
        if [ -z "$wine_prefix" ] && [ "$(id -u)" -eq 0 ] && mkdir "$work/full" &&
            mount -t tmpfs -o size=64k tmpfs "$work/full"; then
            full_disk=$work/full
            dd if=/dev/zero of="$full_disk/filler" bs=4k 2>/dev/null
            targets+=(full-disk)
        else
            echo "skipped: a log on a full disk needs root and a tmpfs mount (natively)"
        fi
        for log_unwritable in "${targets[@]}"; do
            run_label="log on a $log_unwritable"
            rm -rf "$log"
            case $log_unwritable in
            folder) mkdir "$log" ;;
            read-only) : >"$log" && chmod a-w "$log" ;;
            fifo) mkfifo "$log" ;;
            others-link)
                : >"$work/linked"
                ln -s "$work/linked" "$log" && chown -h 65534:65534 "$log"
                ;;
            full-disk) log=$full_disk/support.log log_named=$log ;;
            esac
            place_data
            run_program
            check_run $?
            check_expectations
            check_exact_bytes
            written=""
            if [ -d "$log" ]; then
                written=$(ls -A "$log")
            elif [ -L "$log" ]; then
                written=$(head -c 300 "$work/linked")
            elif [ -p "$log" ]; then
                written=""
            elif [ -s "$log" ]; then
                written=$(head -c 300 "$log")
            fi
            [ -z "$written" ] && pass || fail "the log was written: $written"
            log=$work/support.log
            [ -z "$wine_prefix" ] && log_named=$log
        done
        run_label=""
        log_unwritable=""
    fi
fi

echo "$case_name: $checks checks passed, $failures failed"
[ "$failures" -eq 0 ]
