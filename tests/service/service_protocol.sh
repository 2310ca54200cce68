#!/usr/bin/env bash
# Walks vostrand-service's pages with curl the way an uploader client does, one scenario per run:
# service_protocol.sh <vostrand-service> <scenario>. Each starts its own service on a free loopback
# port with a temporary storage folder.
set -uo pipefail
SVC=$(realpath "${1:?usage: service_protocol.sh <vostrand-service> <scenario>}")
SCENARIO=${2:?usage: service_protocol.sh <vostrand-service> <scenario>}
W=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-service-test.XXXXXX")
ST=$W/storage PID="" BASE="" WRAP=() QUIET=(--quiet) FAILS=0 N=0
FIELDS=(sessionid UploadSession AccessKey maxfilesize phpuploadscript returnurl)
declare -A F # the hidden fields of the last form
cleanup() {
    [[ $BASHPID == "$$" ]] || return 0 # a background walk runs the trap too
    [[ -n $PID ]] && kill "$PID" 2>/dev/null && wait "$PID"
    rm -rf "$W"
}
trap cleanup EXIT
cd "$W" || exit 1

fail() { echo "FAIL: $*" >&2 && FAILS=$((FAILS + 1)); }
is() { [[ $2 == "$3" ]] || fail "$1: expected '$2', got '$3'"; } # what, expected, actual
has() { [[ $2 == *"$3"* ]] || fail "$1: '$3' not found"; }      # what, text, needle
hasnt() { [[ $2 != *"$3"* ]] || fail "$1: '$3' should not be there"; }
sha() { sha256sum <"$1" | cut -c1-64; }
rnd() { head -c "$2" /dev/urandom >"$1"; }                                # path, bytes
code() { curl -s -o /dev/null -w '%{http_code}' "${@:2}" "$1"; }         # url, curl options...
got() { curl -s -o got "$@" && sha got; } # curl options...
count() { find "$@" -type f 2>/dev/null | wc -l; }
port() { local p=${BASE##*:} && echo "${p%/}"; }
between() { # text, left, right: as the client reads a value, up to the next right marker
    [[ $1 == *"$2"*"$3"* ]] || return 0
    local rest=${1#*"$2"}
    printf '%s' "${rest%%"$3"*}"
}

start() { # options... (a later --port replaces --port 0)
    : >"$W/out"
    "${WRAP[@]}" "$SVC" --port 0 --storage "$ST" "${QUIET[@]}" "$@" >"$W/out" 2>"$W/err" &
    PID=$!
    until BASE=$(head -n 1 "$W/out") && [[ -n $BASE ]]; do
        kill -0 "$PID" 2>/dev/null || { echo "service did not start: $(<"$W/err")" >&2 && exit 1; }
        sleep 0.05
    done
}
stop() { # signal (TERM): the service must end with code 0, within 10 s
    kill "-${1:-TERM}" "$PID"
    timeout 10 tail --pid="$PID" -f /dev/null || kill -KILL "$PID"
    wait "$PID"
    is "exit code after SIG${1:-TERM}" 0 "$?"
    PID=""
}

# The start page. Sets JAR (a cookie jar, or a Cookie header as text), HEAD, ACTION and F.
form() { # cookie jar (default: a new one)
    JAR=${1:-$W/jar.$BASHPID.$((++N))}
    local page store=$JAR f me=$W/head.$BASHPID
    [[ $JAR == *=* ]] && store=/dev/null
    page=$(curl -s -D "$me" -b "$JAR" -c "$store" "$BASE")
    HEAD=$(<"$me")
    ACTION=$(between "$page" '<FORM name=uploadform onsubmit="return postIt();" action="' '"')
    for f in "${FIELDS[@]}"; do
        F[$f]=$(between "$page" "<input type=\"hidden\" name=\"$f\" value=\"" '"')
    done
}
# The post in the client's order: hidden fields, the file (of type $TYPE), its options. Sets UP
# (the answer's head, the status code last) and BODY.
upload() { # file (none: no file part), name as sent, password, curl options...
    local f args=() me=$W/body.$BASHPID
    for f in "${FIELDS[@]}"; do args+=(--form-string "$f=${F[$f]}"); done
    [[ -n $1 ]] && args+=(-F "uploadfile_0=@$1;filename=\"$2\";type=${TYPE:-application/octet-stream}")
    UP=$(curl -s -D - -o "$me" -w '%{http_code}' -b "$JAR" -A "Vostrand-Uploader V1.0" \
        "${args[@]}" --form-string "file_referal[0]=BL-42" --form-string "file_descr[0]=Strand & Meer" \
        --form-string "file_password[0]=$3" --form-string "file_search[0]=1" "${@:4}" "$ACTION")
    BODY=$(<"$me")
}
links() { # the links page of the form's newest upload: LINKS, DL, DEL
    LINKS=$(curl -s -b "$JAR" -A "Vostrand-Uploader V1.0" "${BASE}emaillinks.php" -d "UploadSession=\
${F[UploadSession]}&AccessKey=${F[AccessKey]}&uploadmode=1&submitnums=1&toemail=&fromemail=")
    DL=$(between "$LINKS" '<A id=downloadhref href="' '"')
    DEL=$(between "$LINKS" '<A id=filedelhref href="' '"')
}
walk() { # file, name as sent, password: a new form, the post, its redirect, the links
    form
    upload "$@"
    local to
    to=$(between "$UP" 'Location: ' $'\r')
    is "upload answer, redirect target" "302 ${F[returnurl]}" "${UP: -3} $to"
    is "redirect target answer" 200 "$(code "$to" -b "$JAR")"
    links
    [[ -n $DL && -n $DEL ]] || fail "links page without both links"
}

scenario_protocol() {
    start
    form "$W/jar"
    [[ $(grep -m1 '^Set-Cookie:' <<<"$HEAD") =~ ^Set-Cookie:\ PHPSESSID=[0-9a-f]+\;\ path=/$'\r'$ ]] ||
        fail "first Set-Cookie line: $HEAD"
    is "form action" "${BASE}upload.php?upload_id=${F[UploadSession]}" "$ACTION"
    for f in sessionid UploadSession AccessKey; do [[ ${F[$f]} =~ ^[0-9a-f]{32}$ ]] || fail "$f"; done
    is "maxfilesize" 104857600 "${F[maxfilesize]}"
    [[ -n ${F[phpuploadscript]} && -n ${F[returnurl]} ]] || fail "phpuploadscript or returnurl"
    local config
    config=$(curl -s -D - "${BASE}toolconfig.php"; echo .)
    has "toolconfig type" "$config" "Content-Type: text/plain"
    has "toolconfig" "$config" $'\r\n\r\nsize=100\r\nversion=1.00.0009\r\nnews=\r\n.'
    has "absolute request target" "$(curl -s --request-target "${BASE}toolconfig.php" "$BASE")" \
        "size=100"

    rnd data.bin 307200
    TYPE=image/jpeg walk data.bin /home/anna/Bilder/data.jpg ""
    [[ $DL == "${BASE}download/"* && $DEL == "${BASE}delete/"* ]] || fail "links: $DL $DEL"
    local head
    head=$(curl -s -D - -o back.bin "$DL" | tr -d '\r')
    is "download bytes" "$(sha data.bin)" "$(sha back.bin)"
    for f in "Content-Length: 307200" 'filename="data.jpg"' "Content-Type: image/jpeg"; do
        has "download head" "$head" "$f"
    done
    grep -q 'descr=Strand%20%26%20Meer.*referal=BL-42.*search=1' "$ST/index.log" ||
        fail "description, Bin-Layer-ID and publish flag not kept"
    head=$(curl -s -D - -o part.bin -r 1000-2999 "$DL" | tr -d '\r')
    has "range" "$head" "Content-Range: bytes 1000-2999/307200"
    is "range bytes" "$(tail -c +1001 data.bin | head -c 2000 | sha256sum)" "$(sha256sum <part.bin)"
    local keys="UploadSession=${F[UploadSession]}&AccessKey="
    is "links with a wrong AccessKey, without the session cookie" "403 403" \
        "$(code "${BASE}emaillinks.php" -b "$JAR" -d "${keys}0") $(code "${BASE}emaillinks.php" \
            -d "$keys${F[AccessKey]}")"

    # Fetching the delete link (a previewer, a mail scanner) only asks; the page's button posts.
    has "the delete link asks" "$(curl -s "$DEL")" '<form method="post">'
    local wrong=${DEL%key=*}key=0
    is "delete with a wrong key (GET, POST); HEAD; delete; again" "403 403 200 200 200 404 404" \
        "$(code "$wrong") $(code "$wrong" -d '') $(code "$DEL" -I) $(code "$DL") \
$(code "$DEL" -d '') $(code "$DL") $(code "$DEL" -d '')"
    links
    is "links after the delete" "" "$DL"

    upload data.bin secret.bin "Geheim 1&2"
    links
    is "download without, with a wrong, with the password" "403 403 $(sha data.bin)" \
        "$(code "$DL") $(code "$DL?password=x") $(got -G --data-urlencode "password=Geheim 1&2" "$DL")"

    # More posts of the same form: names that try to leave the storage folder, or are none.
    local sent want
    while IFS='|' read -r sent want; do
        upload data.bin "$sent" ""
        links
        has "name of '$sent'" "$(curl -s -D - -o /dev/null "$DL" | tr -d '\r')" "$want"
    done <<'ROWS'
../../etc/passwd|filename="passwd";
C:\Users\Anna\Documents\Bericht 2024.pdf|filename="Bericht 2024.pdf";
/tmp/../../..|filename="file";
Grüße.txt|filename="Gr____e.txt"; filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt
ROWS
    is "files named passwd" "" "$(find "$W" /etc/passwd -name passwd -newer data.bin)"
    is "stored names that are no ids" "" \
        "$(find "$ST/files" -type f -regextype egrep -not -regex '.*/[0-9a-f]{16}')"
    is "imprint" 200 "$(code "${BASE}imprint.php")"
    stop
}

scenario_too_large() {
    start --max-size-mb 1
    rnd exact.bin 1048576
    rnd over.bin 1048577
    rnd far.bin 3145728 # beyond the whole body an upload may have
    walk exact.bin exact.bin ""
    is "a file of exactly the maximum" "$(sha exact.bin)" "$(got "$DL")"
    for f in over.bin far.bin; do
        form
        upload "$f" "$f" ""
        is "$f refused" 413 "${UP: -3}"
        hasnt "$f: no target" "$UP$BODY" "Location:"
        links
        is "$f: no links" "" "$DL"
    done
    is "stored files, partial files" "1 0" "$(count "$ST/files") $(count "$ST/tmp")"
    stop
}

login() { # user:password; the answer's head
    curl -s -D - -o /dev/null -F act=login -F "user=${1%%:*}" -F "pass=${1#*:}" -F login=Login \
        "${BASE}login.php" | tr -d '\r'
}
scenario_premium() {
    # Accounts from a file and the environment; the deprecated option still works but warns.
    printf '# accounts\r\nalice:s3cret\r\n\n' >premium.txt
    VOSTRAND_SERVICE_PREMIUM=$'bob:pw\ncarl:x:y' start --premium-file premium.txt --premium dora:old
    has "the deprecated option warns" "$(<"$W/err")" "deprecated"
    local account want all="PHPSESSID king_sess_id king_uid king_passhash king_logined king_last_click"
    while IFS='|' read -r account want; do
        is "cookies of $account" "$want" "$(login "$account" |
            sed -nE 's|^Set-Cookie: ([a-z_A-Z]+)=[^;]+; path=/$|\1|p' | xargs)"
    done <<ROWS
alice:s3cret|$all
bob:pw|$all
carl:x:y|$all
dora:old|$all
alice:nope|PHPSESSID
carol:s3cret|PHPSESSID
ROWS
    # The Cookie header as the client builds it from the login's answer.
    local head sid uid hash name cookies
    head=$(login alice:s3cret)
    sid=$(between "$head" "PHPSESSID=" ";") uid=$(between "$head" "king_uid=" ";")
    hash=$(between "$head" "king_passhash=" ";")
    rnd data.bin 20480
    form "PHPSESSID=$sid; king_sess_id=x; king_uid=$uid; king_passhash=$hash; king_logined=1"
    hasnt "the start page keeps the login's session" "$HEAD" "Set-Cookie"
    upload data.bin premium.bin ""
    # A later upload in a new session still carries the kept cookies; forged ones are anonymous.
    while IFS='|' read -r name cookies; do
        form
        JAR="PHPSESSID=$(awk '$6=="PHPSESSID"{print $7}' "$JAR"); $cookies"
        upload data.bin "$name.bin" ""
    done <<ROWS
later|king_sess_id=; king_uid=$uid; king_passhash=$hash; king_logined=1; king_last_click=1
forged|king_uid=$uid; king_passhash=0123
ROWS
    is "accounts of the uploads" "premium.bin=alice later.bin=alice forged.bin=" \
        "$(sed -E 's/.*\tname=([^\t]*).*\tuser=([^\t]*).*/\1=\2/' "$ST/index.log" | xargs)"
    stop
}

# Parallel walks; files replaced or taken away under the running service; restarts on the same
# storage and port that keep the links; a torn index line; a full disk.
scenario_storage() {
    start
    local i port dl del id pipe folder gone
    port=$(port)
    for i in 1 2 3 4 5 6; do
        (
            rnd "c$i.bin" $((i * 99000))
            walk "c$i.bin" "c$i.bin" ""
            echo "$DL $DEL" >"c$i.links"
            exit "$FAILS"
        ) &
    done
    for i in 1 2 3 4 5 6; do wait -n || fail "a parallel walk"; done
    read -r dl del <c6.links
    id=${dl#*download/} && id=${id%%/*}
    rm "$ST/files/$id" && mkfifo "$ST/files/$id" && pipe=$(code "$dl" -m 10)
    rm "$ST/files/$id" && mkdir "$ST/files/$id" && folder=$(code "$dl" -m 10)
    rmdir "$ST/files/$id"
    is "a pipe, a folder in place of a file; the file removed" "404 404 404" \
        "$pipe $folder $(code "$dl")"
    read -r gone del <c5.links
    is "delete before a restart" 200 "$(code "$del" -d '')"
    stop
    # A crash in the middle of an index line leaves it torn; what is written after it must last.
    printf 'del\tid=0123' >>"$ST/index.log"
    start --port "$port"
    for i in 1 2 3 4; do
        read -r dl del <"c$i.links"
        is "c$i after a restart" "$(sha "c$i.bin")" "$(got "$dl")"
    done
    is "deleted before the restart; delete after it" "404 200" "$(code "$gone") $(code "$del" -d '')"
    walk c1.bin after-torn-line.bin ""
    stop
    start --port "$port"
    is "deleted, uploaded after the torn line, after a restart" "404 $(sha c1.bin)" \
        "$(code "$dl") $(got "$DL")"
    rm -rf "$ST" # the next upload makes the folders again
    walk c1.bin again.bin ""
    is "upload after the storage was removed" "$(sha c1.bin)" "$(got "$DL")"
    stop

    rm -rf "$ST"
    WRAP=(prlimit --fsize=4096) # a file-size limit of 4 KiB stands in for a full disk
    start
    rnd small.bin 100
    rnd big.bin 16384
    walk small.bin small.bin ""
    upload big.bin big.bin ""
    is "a file the disk refuses; files kept" "500 1" "${UP: -3} $(count "$ST/files" "$ST/tmp")"
    # An index line that does not fit is taken back whole, so the delete line after it fits
    # and stays a line of its own.
    upload small.bin "$(printf 'n%.0s' {1..4000})" ""
    is "an index line the disk refuses; delete after it" "500 200" \
        "${UP: -3} $(code "$DEL" -d '')"
    stop
    WRAP=()
    start --port "$(port)"
    is "deleted file after a restart; files stored" "404 0" "$(code "$DL") $(count "$ST/files")"
    stop
}

scenario_refused() {
    start
    rnd data.bin 51200
    form "$W/jar"
    local field value saved text b=$BASE
    while IFS='|' read -r field value; do
        saved=${!field}
        printf -v "$field" '%s' "$value"
        upload data.bin x.bin ""
        is "$field=$value refused" 403 "${UP: -3}"
        printf -v "$field" '%s' "$saved"
    done <<ROWS
F[sessionid]|abc
F[UploadSession]|ffff
F[AccessKey]|0000
F[maxfilesize]|1
F[phpuploadscript]|${b}elsewhere.php
F[returnurl]|${b}elsewhere
JAR|/dev/null
ACTION|${b}upload.php?upload_id=ffff
ROWS
    text=$(head -c 40000 /dev/zero | tr '\0' t)
    upload data.bin x.bin "" --form-string "extra1=$text" --form-string "extra2=$text"
    text=${UP: -3}
    upload "" "" ""
    is "url-encoded; no file part; text fields above 64 KiB together" "400 400 400" \
        "$(code "$ACTION" -b "$JAR" -d a=b) ${UP: -3} $text"
    is "nothing stored" 0 "$(count "$ST/files" "$ST/tmp")"
    upload data.bin fine.bin ""
    is "the same form after the refusals" 302 "${UP: -3}"
    is "unknown page, file, file id; links without fields; large, chunked form" \
        "404 404 404 400 413 411" "$(code "${b}nothing.php") $(code "${b}download/0123456789abcdef/x") \
$(code "${b}download/..%2f..%2fetc%2fpasswd") $(code "${b}emaillinks.php" -d '') \
$(code "${b}emaillinks.php" --data-binary @<(head -c 2000000 /dev/zero)) \
$(code "${b}login.php" -H 'Transfer-Encoding: chunked' -F act=login -F user=alice -F pass=x)"
    stop
}

status() { # the status line the service answers stdin with, on a new connection
    local fd
    exec {fd}<>"/dev/tcp/127.0.0.1/$(port)"
    cat >&"$fd" 2>/dev/null
    timeout 10 head -n 1 <&"$fd" | cut -c1-12
    exec {fd}>&-
}
# Requests no browser sends get an error answer and cost bounded descriptors; the service goes
# on serving.
scenario_hostile() {
    start
    local i fd fds=() p beside open
    p=$(port)
    is "garbage; endless request line; endless headers" "HTTP/1.1 4;HTTP/1.1 431;HTTP/1.1 431" \
        "$(printf 'NONSENSE\r\n\r\n' | status | cut -c1-10);$({ printf 'GET /' && head -c 2M \
            /dev/zero | tr '\0' a; } | status);$({ printf 'GET / HTTP/1.1\r\n' && for i in {1..32}; do
            printf 'X-A: %4000s\r\n' b; done; } | status)"
    # Connections that send half a head hold no more than a worker each, and only so many wait.
    for i in {1..220}; do
        exec {fd}<>"/dev/tcp/127.0.0.1/$p"
        fds+=("$fd")
        ((i > 20)) || printf 'GET / HTTP/1.1\r\n' >&"$fd"
        ((i != 20)) || beside=$(sleep 0.3 && code "$BASE" -m 5)
    done
    open=$(sleep 0.5 && find "/proc/$PID/fd" -mindepth 1 | wc -l)
    for fd in "${fds[@]}"; do exec {fd}>&-; done
    is "beside 20 idle; descriptors with 220 idle; after them" "200 few 200" \
        "$beside $( ((open < 150)) && echo few || echo "$open") $(sleep 0.3 && code "$BASE" -m 5)"
    hasnt "Host header injection" "$(curl -s -H 'Host: evil"><script>' "$BASE")" 'evil"'
    has "links follow the Host header" "$(curl -s -H "Host: localhost:$p" "$BASE")" \
        "action=\"http://localhost:$p/upload.php"
    stop
}

scenario_process() {
    has "version" "$("$SVC" --version)" "vostrand-service 1."
    start
    local args want client log
    : >plain
    while IFS='|' read -r args want; do
        [[ $("$SVC" $args --quiet 2>&1 >/dev/null; echo "=$?") == *"$want"*$'\n=1' ]] ||
            fail "$args: no exit code 1 with '$want'"
    done <<ROWS
--port $(port) --storage $W/other|$(port)
--port 0 --storage $ST|in use
--port 0 --storage $W/plain/sub|plain/sub
ROWS
    # A stop during an upload ends it instead of waiting for it, and leaves nothing behind.
    rnd big.bin 8388608
    form
    upload big.bin big.bin "" --limit-rate 256K &
    client=$!
    until (($(count "$ST/tmp") > 0)); do sleep 0.05; done
    stop
    wait "$client"
    is "partial files after a stop" 0 "$(count "$ST/tmp")"

    # Without --quiet: one line per request on stderr, without the query (passwords, keys).
    QUIET=()
    start
    curl -s "${BASE}toolconfig.php" "${BASE}download/0123456789abcdef/x?password=hunter2" \
        "${BASE}x%0a127.0.0.1%20GET%20/forged" >/dev/null
    stop INT
    is "stdout holds only the base URL" 1 "$(wc -l <"$W/out")"
    log=$(<"$W/err")
    has "request log" "$log" "GET /toolconfig.php 200"
    hasnt "request log hides queries" "$log" "hunter2"
    is "one log line per request" 3 "$(wc -l <<<"$log")"
}

case $SCENARIO in
protocol | too_large | premium | storage | refused | hostile | process) "scenario_$SCENARIO" ;;
*) echo "unknown scenario: $SCENARIO" >&2 && exit 2 ;;
esac
((FAILS == 0)) || { echo "$SCENARIO: $FAILS check(s) failed" >&2 && exit 1; }
echo "$SCENARIO: ok"
