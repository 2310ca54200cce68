# What the client-against-curl benchmarks share; sourced after `set -euo pipefail`.
# Sets here, root, bin and work (removed at exit, with the service).
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
bin=${VOSTRAND_BUILD_DIR:-$root/build}/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-bench.XXXXXX")
service_pid=
cleanup() {
    if [ -n "$service_pid" ]; then
        kill "$service_pid" 2>/dev/null || true
        wait "$service_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

start_service() { # start_service SIZE_MIB [ARGUMENTS...]: sets base to the URL it serves
    local size_mib=$1
    shift
    mkfifo "$work/service.out"
    "$bin/vostrand-service" --port 0 --storage "$work/storage" --quiet \
        --max-size-mb $((size_mib + 16)) "$@" >"$work/service.out" &
    service_pid=$!
    read -r base <"$work/service.out"
    echo "service at $base" >&2
}

measure() { python3 "$here/measure.py" "$@"; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p" <<<"$2"; }
check() { # check NAME RESULT LINKS_FILE EXPECTED_LINKS [LINK_PATTERN]
    if [ "$(field exit "$2")" != 0 ] || [ "$(grep -c "${5:-^http}" "$3")" != "$4" ]; then
        echo "$1 failed: $2" >&2
        exit 1
    fi
}

write_large_file() { # write_large_file SIZE_MIB: $work/large.bin
    echo "writing a file of $1 MiB" >&2
    head -c $(($1 * 1048576)) /dev/urandom >"$work/large.bin"
}
