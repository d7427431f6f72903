# shellcheck shell=bash
# Sourced by the scripts: makes sure the tools of the build are on the machine. As root on
# Debian it installs what is missing; otherwise it says exactly what to install.

# Debian package, and the file or command that shows it is there.
required_packages() {
    cat <<'LIST'
cmake               command:cmake
g++                 command:g++
make                command:make
libgtest-dev        file:/usr/include/gtest/gtest.h
libgmock-dev        file:/usr/include/gmock/gmock.h
googletest          file:/usr/src/googletest/CMakeLists.txt
g++-mingw-w64-i686  command:i686-w64-mingw32-g++-win32
g++-mingw-w64-x86-64 command:x86_64-w64-mingw32-g++-win32
wine                command:wine
wine32:i386         file:/usr/lib/wine/wineserver32
wine64              file:/usr/lib/wine/wineserver64
clang               command:clang++
libclang-rt-14-dev  file:/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a
clang-tidy          command:clang-tidy
cppcheck            command:cppcheck
shellcheck          command:shellcheck
ccache              command:ccache
osslsigncode        command:osslsigncode
openssl             command:openssl
python3             command:python3
LIST
    if [ -n "${REQUIRE_EXTRA_PACKAGES:-}" ]; then
        printf '%s\n' "$REQUIRE_EXTRA_PACKAGES"
    fi
}

missing_packages() {
    local package check kind target
    while read -r package check; do
        [ -n "$package" ] || continue
        kind=${check%%:*}
        target=${check#*:}
        case $kind in
        command) command -v "$target" >/dev/null 2>&1 || printf '%s\n' "$package" ;;
        file) [ -e "$target" ] || printf '%s\n' "$package" ;;
        esac
    done < <(required_packages)
}

# The missing packages among those named ($@), or among all when none is named.
missing_of() {
    local package wanted=" $* "
    for package in $(missing_packages); do
        if [ $# -eq 0 ] || [[ $wanted == *" $package "* ]]; then printf '%s ' "$package"; fi
    done
}

# With package names, only those of the list are checked and installed.
ensure_requirements() {
    local missing
    missing=$(missing_of "$@")
    [ -n "${missing// /}" ] || return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: $missing" >&2
        echo "Install them as root with:" >&2
        echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y $missing" >&2
        return 1
    fi
    echo "Installing: $missing"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq $missing >/dev/null
    missing=$(missing_of "$@")
    if [ -n "${missing// /}" ]; then
        echo "Still missing after installing: $missing" >&2
        return 1
    fi
}
