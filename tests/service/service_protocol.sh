#!/usr/bin/env bash
# Walks vostrand-service's pages with curl as an uploader client does: service_protocol.sh
# <vostrand-service> <scenario>. Each scenario runs its own services on a temporary storage folder.
set -uo pipefail
SVC=$(realpath "${1:?usage: service_protocol.sh <vostrand-service> <scenario>}") SCENARIO=${2:?}
W=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-service-test.XXXXXX")
ST=$W/storage PID="" BASE="" WRAP="" QUIET=--quiet FAILS=0 N=0 TYPE=application/octet-stream
FIELDS=(sessionid UploadSession AccessKey maxfilesize phpuploadscript returnurl)
declare -A F C # the hidden fields of the last form; the cookies of a login
# A background walk runs the trap too.
trap '[[ $BASHPID != "$$" ]] || { [[ -z $PID ]] || kill "$PID"; wait; rm -rf "$W"; }' EXIT
cd "$W" || exit 1

fail() { echo "FAIL: $*" >&2 && FAILS=$((FAILS + 1)); }
# is: what, expected, actual; has: what, text, needles...
is() { [[ $2 == "$3" ]] || fail "$1: expected '$2', got '$3'"; }
has() { for n in "${@:3}"; do [[ $2 == *"$n"* ]] || fail "$1: '$n' not found"; done; }
sha() { sha256sum <"$1" | cut -c1-64; }
rnd() { while (($#)); do head -c "$2" /dev/urandom >"$1" && shift 2; done; } # path, bytes...
code() { curl -s -o /dev/null -w '%{http_code}' "${@:2}" "$1"; }             # url, curl options...
got() { curl -s -o "got.$BASHPID" "$@" && sha "got.$BASHPID"; }            # curl options...
count() { find "$@" -type f 2>/dev/null | wc -l; }
port() { local p=${BASE##*:} && echo "${p%/}"; }
# The value after the first left marker up to the next right one, as the client reads it.
between() { [[ $1 == *"$2"*"$3"* ]] && local r=${1#*"$2"} && printf '%s' "${r%%"$3"*}"; }

start() { # options... (a later --port replaces --port 0); WRAP: a command to run it under
    : >"$W/out"
    $WRAP "$SVC" --port 0 --storage "$ST" $QUIET "$@" >"$W/out" 2>"$W/err" &
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
    is "exit code after SIG${1:-TERM}" 0 "$?" && PID=""
}
restart() { stop && start --port "$(port)"; } # on the same port, so the links stay valid

# The start page: JAR (a cookie jar, or a Cookie header as text), PAGE (head, body), ACTION, F.
form() { # cookie jar (default: a new one)
    JAR=${1:-$W/jar.$BASHPID.$((++N))}
    local store=$JAR f
    [[ $JAR == *=* ]] && store=/dev/null
    PAGE=$(curl -s -D - -b "$JAR" -c "$store" "$BASE")
    ACTION=$(between "$PAGE" '<FORM name=uploadform onsubmit="return postIt();" action="' '"')
    for f in "${FIELDS[@]}"; do
        F[$f]=$(between "$PAGE" "<input type=\"hidden\" name=\"$f\" value=\"" '"')
    done
}
# The post in the client's order: hidden fields, file, options. UP: the head, the status last.
upload() { # file (none: no file part), name as sent, password, curl options...
    local f args=()
    for f in "${FIELDS[@]}"; do args+=(--form-string "$f=${F[$f]}"); done
    [[ -n $1 ]] && args+=(-F "uploadfile_0=@$1;filename=\"$2\";type=$TYPE")
    UP=$(curl -s -D - -o /dev/null -w '%{http_code}' -b "$JAR" -A "Vostrand-Uploader V1.0" \
        "${args[@]}" --form-string "file_referal[0]=BL-42" --form-string "file_descr[0]=Strand" \
        --form-string "file_password[0]=$3" --form-string "file_search[0]=1" "${@:4}" "$ACTION")
}
answer() { upload "$@" && echo "${UP: -3}"; } # the status code of a post
links() { # the links page of the form's newest upload: DL, DEL
    DL=$(curl -s -b "$JAR" -A "Vostrand-Uploader V1.0" "${BASE}emaillinks.php" -d "UploadSession=\
${F[UploadSession]}&AccessKey=${F[AccessKey]}&uploadmode=1&submitnums=1&toemail=&fromemail=")
    DEL=$(between "$DL" '<A id=filedelhref href="' '"')
    DL=$(between "$DL" '<A id=downloadhref href="' '"')
}
walk() { # file, name as sent, password: a new form, the post, its redirect, the links
    local to
    form && upload "$@" && to=$(between "$UP" 'Location: ' $'\r')
    is "upload answer, redirect target" "302 ${F[returnurl]}" "${UP: -3} $to"
    is "redirect target answer" 200 "$(code "$to" -b "$JAR")"
    links
    [[ -n $DL && -n $DEL ]] || fail "links page without both links"
}

scenario_protocol() {
    local head wrong sent want e k
    start --client-version 1.00.0010 --news $'Wartung\r\nMontag'
    form "$W/jar"
    grep -qE $'^Set-Cookie: PHPSESSID=[0-9a-f]+; path=/\r$' <<<"$PAGE" || fail "cookie: $PAGE"
    is "form action, maxfilesize" "${BASE}upload.php?upload_id=${F[UploadSession]} 104857600" \
        "$ACTION ${F[maxfilesize]}"
    [[ ${F[sessionid]}:${F[UploadSession]}:${F[AccessKey]}: =~ ^([0-9a-f]{32}:){3}$ ]] || fail keys
    has "toolconfig" "$(curl -s -D - "${BASE}toolconfig.php"; echo .)" \
        $'plain; charset=utf-8\r\n\r\nsize=100\r\nversion=1.00.0010\r\nnews=Wartung\\nMontag\r\n.'
    has "absolute target" "$(curl -s --request-target "${BASE}toolconfig.php" "$BASE")" size=100

    rnd data.bin 307200
    TYPE=image/jpeg walk data.bin /home/anna/Bilder/data.jpg ""
    [[ $DL == "${BASE}download/"* && $DEL == "${BASE}delete/"* ]] || fail "links: $DL $DEL"
    head=$(curl -s -D - -o back.bin "$DL" | tr -d '\r')
    is "download bytes" "$(sha data.bin)" "$(sha back.bin)"
    has "download head" "$head" "Length: 307200" 'filename="data.jpg"' "Type: image/jpeg"
    has range "$(curl -s -D - -o part -r 1000-2999 "$DL")" "Content-Range: bytes 1000-2999/307200"
    is "range bytes" "$(tail -c +1001 data.bin | head -c 2000 | sha256sum)" "$(sha256sum <part)"
    e=${BASE}emaillinks.php k="UploadSession=${F[UploadSession]}&AccessKey="
    is "links with a wrong AccessKey, without the session cookie" "403 403" \
        "$(code "$e" -b "$JAR" -d "${k}0") $(code "$e" -d "$k${F[AccessKey]}")"

    # Fetching the delete link (a previewer, a mail scanner) only asks; the page's button posts.
    has "the delete link asks" "$(curl -s "$DEL")" '<form method="post">'
    wrong=${DEL%key=*}key=0
    is "delete with a wrong key (GET, POST); HEAD; delete; again" "403 403 200 200 200 404 404" \
        "$(code "$wrong") $(code "$wrong" -d '') $(code "$DEL" -I) $(code "$DL") \
$(code "$DEL" -d '') $(code "$DL") $(code "$DEL" -d '')"
    links && is "links after the delete" "" "$DL"

    upload data.bin secret.bin "Geheim 1&2" && links
    is "download without, with a wrong, the password" "403 403 $(sha data.bin)" "$(code "$DL") \
$(code "$DL?password=x") $(got -G --data-urlencode "password=Geheim 1&2" "$DL")"

    # More posts of the same form: names that try to leave the storage folder, or are none.
    while IFS='|' read -r sent want; do
        upload data.bin "$sent" "" && links
        has "name of '$sent'" "$(curl -s -D - -o /dev/null "$DL" | tr -d '\r')" "$want"
    done <<'ROWS'
../../etc/passwd|filename="passwd";
C:\Users\Anna\Documents\Bericht 2024.pdf|filename="Bericht 2024.pdf";
/tmp/../../..|filename="file";
Grüße.txt|filename="Gr____e.txt"; filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt
ROWS
    is "files named passwd" "" "$(find "$W" /etc/passwd -name passwd -newer data.bin)"
    is "stored names that are no ids, imprint" " 200" "$(find "$ST/files" -type f -regextype egrep \
        -not -regex '.*/[0-9a-f]{16}') $(code "${BASE}imprint.php")"
}

login() { # user:password; the names of the cookies set, in order, and their values
    curl -s -D - -o /dev/null -F act=login -F "user=${1%%:*}" -F "pass=${1#*:}" -F login=Login \
        "${BASE}login.php" | sed -nE 's|^Set-Cookie: ([a-z_A-Z]+)=([^;]+); path=/\r$|\1 \2|p'
}
scenario_premium() {
    local a uid hash name cookies got="" all
    all=$(echo PHPSESSID king_{sess_id,uid,passhash,logined,last_click})
    # Accounts from a file and the environment; the deprecated option still works but warns.
    printf '# accounts\r\nalice:s3cret\r\n\n' >premium.txt
    VOSTRAND_SERVICE_PREMIUM=$'bob:pw\ncarl:x:y' start --premium-file premium.txt --premium dora:old
    has "the deprecated option warns" "$(<"$W/err")" "deprecated"
    for a in alice:s3cret bob:pw carl:x:y dora:old alice:nope carol:s3cret; do
        got+="$(login "$a" | cut -d' ' -f1 | xargs)|"
    done
    is "cookies of good and wrong logins" "$all|$all|$all|$all|PHPSESSID|PHPSESSID|" "$got"

    # The Cookie header as the client builds it from the login's answer.
    while read -r name a; do C[$name]=$a; done < <(login alice:s3cret)
    uid=${C[king_uid]} hash=${C[king_passhash]}
    rnd data.bin 20480
    form "PHPSESSID=${C[PHPSESSID]}; king_sess_id=x; king_uid=$uid; king_passhash=$hash"
    is "new cookies of a start page with the login's session" 0 "$(grep -c Set-Cookie <<<"$PAGE")"
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
}

# Parallel walks; files taken away under the service; restarts that keep the links; a full disk.
scenario_storage() {
    local i dl del id gone codes=""
    start
    for i in 1 2 3 4 5 6; do
        (rnd "c$i.bin" $((i * 99000)) && walk "c$i.bin" "c$i.bin" "" && echo "$DL $DEL" >"c$i.links"
            is "c$i" "$(sha "c$i.bin")" "$(got "$DL")"
            exit "$FAILS") &
    done
    for i in 1 2 3 4 5 6; do wait -n || fail "a parallel walk"; done
    read -r dl del <c6.links
    id=${dl#*download/} && id=${id%%/*}
    for i in mkfifo mkdir true; do
        rm -rf "$ST/files/$id" && $i "$ST/files/$id" && codes+="$(code "$dl" -m 10) "
    done
    read -r gone del <c5.links
    is "a pipe, a folder in place of a file, no file; delete" "404 404 404 200" \
        "$codes$(code "$del" -d '')"
    stop
    # A crash in the middle of an index line leaves it torn; what is written after it must last.
    printf 'del\tid=0123' >>"$ST/index.log"
    start --port "$(port)"
    walk c1.bin after-torn-line.bin ""
    for i in 1 2 3 4; do
        read -r dl del <"c$i.links" && is "c$i after a restart" "$(sha "c$i.bin")" "$(got "$dl")"
    done
    is "deleted before the restart; delete after" "404 200" "$(code "$gone") $(code "$del" -d '')"
    restart
    is "deleted, uploaded after the torn line, after a restart" "404 $(sha c1.bin)" \
        "$(code "$dl") $(got "$DL")"
    rm -rf "$ST" # the next upload makes the folders again
    walk c1.bin again.bin ""
    is "upload after the storage was removed" "$(sha c1.bin)" "$(got "$DL")"
    stop

    rm -rf "$ST"
    WRAP="prlimit --fsize=4096" start # a file-size limit of 4 KiB stands in for a full disk
    rnd small.bin 100 big.bin 16384
    walk small.bin small.bin ""
    is "a file the disk refuses; files" "500 1" "$(answer big.bin b "") $(count "$ST"/{files,tmp})"
    # An index line that does not fit is taken back whole: the delete line after it stays its own.
    is "an index line the disk refuses; delete after it" "500 200" \
        "$(answer small.bin "$(printf 'n%.0s' {1..4000})" "") $(code "$DEL" -d '')"
    restart
    is "deleted file after a restart; files stored" "404 0" "$(code "$DL") $(count "$ST/files")"
}

scenario_refused() {
    start --max-size-mb 1
    local field value text b=$BASE
    rnd exact.bin 1048576 over.bin 1048577 far.bin 3145728 # far: beyond the body an upload may have
    walk exact.bin exact.bin ""
    is "maxfilesize; a file of exactly that size" "1048576 $(sha exact.bin)" \
        "${F[maxfilesize]} $(got "$DL")"
    is "a file above the maximum, far above it" "413 413" \
        "$(answer over.bin over.bin "") $(answer far.bin far.bin "")"
    while IFS='|' read -r field value; do # the post of a form with one value changed
        is "$field=$value" 403 "$(printf -v "$field" '%s' "$value" && answer exact.bin x.bin "")"
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
    is "url-encoded; no file part; text fields above 64 KiB together" "400 400 400" \
        "$(code "$ACTION" -b "$JAR" -d a=b) $(answer "" "" "") $(answer exact.bin x.bin "" \
            --form-string "extra1=$text" --form-string "extra2=$text")"
    is "files stored, partial files; the same form after the refusals" "1 0 302" \
        "$(count "$ST/files") $(count "$ST/tmp") $(answer exact.bin fine.bin "")"
    is "unknown page, file, file id; links without fields; large, chunked form" \
        "404 404 404 400 413 411" \
        "$(code "${b}nothing.php") $(code "${b}download/0123456789abcdef/x") \
$(code "${b}download/..%2f..%2fetc%2fpasswd") $(code "${b}emaillinks.php" -d '') \
$(code "${b}emaillinks.php" --data-binary @<(head -c 2000000 /dev/zero)) \
$(code "${b}login.php" -H 'Transfer-Encoding: chunked' -F act=login -F user=alice -F pass=x)"
}

# Requests no browser sends get an error answer, cost bounded descriptors, and it goes on serving.
scenario_hostile() {
    local i fd fds=() beside open
    start
    printf 'X-A: %04000d\n' {1..32} >flood
    is "a garbage request line; heads above 64 KiB: a request line, headers" "400 431 431" \
        "$(code "$BASE" -X NONSENSE) $(code "$BASE$(printf '%0100000d' 0)") \
$(code "$BASE" -H @flood)"
    # Connections that send half a head hold no more than a worker each, and only so many wait.
    for i in {1..220}; do
        exec {fd}<>"/dev/tcp/127.0.0.1/$(port)" && fds+=("$fd")
        ((i > 20)) || printf 'GET / HTTP/1.1\r\n' >&"$fd"
        ((i != 20)) || beside=$(sleep 0.3 && code "$BASE" -m 5)
    done
    open=$(sleep 0.5 && find "/proc/$PID/fd" -mindepth 1 | wc -l)
    for fd in "${fds[@]}"; do exec {fd}>&-; done
    is "beside 20 idle; descriptors with 220 idle; after them" "200 few 200" \
        "$beside $( ((open < 150)) && echo few || echo "$open") $(sleep 0.3 && code "$BASE" -m 5)"
    is "Host header injection" 0 "$(curl -s -H 'Host: evil"><script>' "$BASE" | grep -c 'evil"')"
    has "links follow the Host header" "$(curl -s -H "Host: localhost:$(port)" "$BASE")" \
        "action=\"http://localhost:$(port)/upload.php"
}

scenario_process() {
    local args out=""
    has "version" "$("$SVC" --version)" "vostrand-service 1."
    start
    for args in "--port $(port) --storage $W/other" "--storage $ST" "--storage $W/out/sub"; do
        out+="$(timeout 10 "$SVC" --port 0 $args --quiet 2>&1 >/dev/null; echo " =$?")|"
    done
    [[ $out =~ ^[^|]*$(port)[^|]*=1\|[^|]*in\ use[^|]*=1\|[^|]*out/sub[^|]*=1\|$ ]] ||
        fail "a taken port, a used or impossible storage folder: $out"

    # A stop during an upload ends it instead of waiting for it, and leaves nothing behind.
    rnd big.bin 8388608
    form && upload big.bin big.bin "" --limit-rate 256K &
    until (($(count "$ST/tmp") > 0)); do sleep 0.05; done
    stop
    is "partial files after a stop" 0 "$(count "$ST/tmp")"

    # Without --quiet: one line per request on stderr, without the query (passwords, keys).
    QUIET="" start
    curl -s "${BASE}toolconfig.php" "${BASE}download/0123456789abcdef/x?password=hunter2" \
        "${BASE}x%0a127.0.0.1%20GET%20/forged" >/dev/null
    stop INT
    is "lines on stdout, in the log; logged page; logged query" "1 3 1 0" "$(wc -l <"$W/out") \
$(wc -l <"$W/err") $(grep -c 'GET /toolconfig.php 200' "$W/err") $(grep -c hunter2 "$W/err")"
}

declare -F "scenario_$SCENARIO" >/dev/null || { echo "unknown scenario: $SCENARIO" >&2 && exit 2; }
"scenario_$SCENARIO"
[[ -z $PID ]] || stop # every service a scenario leaves running must end cleanly as well
((FAILS == 0)) || { echo "$SCENARIO: $FAILS check(s) failed" >&2 && exit 1; }
echo "$SCENARIO: ok"
