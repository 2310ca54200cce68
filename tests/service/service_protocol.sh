#!/usr/bin/env bash
# Walks vostrand-service's pages with curl only, the way an uploader client does, one scenario per
# run: service_protocol.sh <path to vostrand-service> <scenario>. Each scenario starts its own
# service on a free loopback port with a temporary storage folder and stops it again.
set -uo pipefail

SERVICE_BIN=$(realpath "${1:?usage: service_protocol.sh <vostrand-service> <scenario>}")
SCENARIO=${2:?usage: service_protocol.sh <vostrand-service> <scenario>}

WORK=$(mktemp -d "${TMPDIR:-/tmp}/vostrand-service-test.XXXXXX")
STORAGE=$WORK/storage
SVC_PID=""
BASE=""
FAILURES=0
WALKS=0

cleanup() {
    if [[ -n $SVC_PID ]] && kill -0 "$SVC_PID" 2>/dev/null; then
        kill -TERM "$SVC_PID" 2>/dev/null
        wait "$SVC_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK" || exit 1

fail() {
    echo "FAIL: $*" >&2
    FAILURES=$((FAILURES + 1))
}

expect_eq() { # what, expected, actual
    [[ $2 == "$3" ]] || fail "$1: expected '$2', got '$3'"
}

expect_contains() { # what, haystack, needle
    [[ $2 == *"$3"* ]] || fail "$1: '$3' not found"
}

expect_absent() { # what, haystack, needle
    [[ $2 != *"$3"* ]] || fail "$1: '$3' should not be there"
}

finish() {
    if ((FAILURES > 0)); then
        echo "$SCENARIO: $FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "$SCENARIO: ok"
    exit 0
}

# The client's rule for reading a value: the text after the first left marker up to the next right
# marker, empty when either is missing.
cut_between() { # text, left, right
    local text=$1 left=$2 right=$3 rest
    [[ $text == *"$left"* ]] || return 0
    rest=${text#*"$left"}
    [[ $rest == *"$right"* ]] || return 0
    printf '%s' "${rest%%"$right"*}"
}

start_service() { # extra options...
    local out=$WORK/service.out
    : >"$out"
    "$SERVICE_BIN" --port 0 --storage "$STORAGE" --quiet "$@" >"$out" 2>"$WORK/service.err" &
    SVC_PID=$!
    for _ in $(seq 1 100); do
        BASE=$(head -n 1 "$out")
        [[ -n $BASE ]] && return 0
        kill -0 "$SVC_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "service did not start: $(cat "$WORK/service.err")" >&2
    exit 1
}

stop_service() {
    kill -TERM "$SVC_PID"
    wait "$SVC_PID"
    local rc=$?
    SVC_PID=""
    expect_eq "exit code after SIGTERM" 0 "$rc"
}

sha() { sha256sum "$1" | cut -d' ' -f1; }

make_file() { # path, size in KiB
    head -c $(($2 * 1024)) /dev/urandom >"$1"
}

# Step 1: the start page. Sets JAR (cookie jar), PAGE_HEAD, PAGE and the form values.
open_form() { # cookie jar
    JAR=$1
    local me=$BASHPID store=$JAR
    [[ $JAR == *=* ]] && store=$WORK/jar.unused # a cookie header given as text, not a jar file
    PAGE_HEAD=$(curl -s -D - -o "$WORK/page.$me.html" -b "$JAR" -c "$store" "$BASE")
    PAGE=$(cat "$WORK/page.$me.html")
    ACTION=$(cut_between "$PAGE" '<FORM name=uploadform onsubmit="return postIt();" action="' '"')
    F_SESSIONID=$(cut_between "$PAGE" '<input type="hidden" name="sessionid" value="' '"')
    F_UPLOADSESSION=$(cut_between "$PAGE" '<input type="hidden" name="UploadSession" value="' '"')
    F_ACCESSKEY=$(cut_between "$PAGE" '<input type="hidden" name="AccessKey" value="' '"')
    F_MAXFILESIZE=$(cut_between "$PAGE" '<input type="hidden" name="maxfilesize" value="' '"')
    F_SCRIPT=$(cut_between "$PAGE" '<input type="hidden" name="phpuploadscript" value="' '"')
    F_RETURNURL=$(cut_between "$PAGE" '<input type="hidden" name="returnurl" value="' '"')
}

# Step 2: the file, with the form's hidden fields first and the file's options after it, in the
# client's order. Sets UP_CODE, UP_HEAD, UP_BODY.
upload() { # file, filename as sent, password, extra curl options...
    local file=$1 name=$2 password=$3 me=$BASHPID
    shift 3
    UP_CODE=$(curl -s -o "$WORK/up.$me.body" -D "$WORK/up.$me.head" -w '%{http_code}' -b "$JAR" \
        -A "Vostrand-Uploader V1.0" \
        --form-string "sessionid=$F_SESSIONID" \
        --form-string "UploadSession=$F_UPLOADSESSION" \
        --form-string "AccessKey=$F_ACCESSKEY" \
        --form-string "maxfilesize=$F_MAXFILESIZE" \
        --form-string "phpuploadscript=$F_SCRIPT" \
        --form-string "returnurl=$F_RETURNURL" \
        -F "uploadfile_0=@$file;filename=\"$name\";type=application/octet-stream" \
        --form-string "file_referal[0]=layer-7" \
        --form-string "file_descr[0]=holiday pictures" \
        --form-string "file_password[0]=$password" \
        --form-string "file_search[0]=1" \
        "$@" "$ACTION")
    UP_HEAD=$(cat "$WORK/up.$me.head" 2>/dev/null)
    UP_BODY=$(cat "$WORK/up.$me.body" 2>/dev/null)
}

# Step 4: the links page. Sets LINKS, DOWNLOAD_URL, DELETE_URL.
get_links() {
    LINKS=$(curl -s -b "$JAR" -A "Vostrand-Uploader V1.0" \
        --data "UploadSession=$F_UPLOADSESSION&AccessKey=$F_ACCESSKEY&uploadmode=1&submitnums=1&toemail=&fromemail=" \
        "${BASE}emaillinks.php")
    DOWNLOAD_URL=$(cut_between "$LINKS" '<A id=downloadhref href="' '"')
    DELETE_URL=$(cut_between "$LINKS" '<A id=filedelhref href="' '"')
}

http_code() { # url, extra curl options...
    local url=$1
    shift
    curl -s -o /dev/null -w '%{http_code}' "$@" "$url"
}

# The whole walk for one file; leaves DOWNLOAD_URL and DELETE_URL set.
walk() { # file, filename as sent, password
    WALKS=$((WALKS + 1))
    open_form "$WORK/jar.$BASHPID.$WALKS"
    upload "$1" "$2" "$3"
    expect_eq "upload answer" 302 "$UP_CODE"
    local location
    location=$(grep -i '^Location:' <<<"$UP_HEAD" | head -n 1 | cut -d' ' -f2- | tr -d '\r')
    expect_eq "redirect target" "$F_RETURNURL" "$location"
    expect_eq "redirect target answer" 200 "$(http_code "$location" -b "$JAR")"
    get_links
    [[ -n $DOWNLOAD_URL && -n $DELETE_URL ]] || fail "links page without both links"
}

scenario_protocol() {
    start_service
    local jar=$WORK/jar
    open_form "$jar"
    local first_cookie
    first_cookie=$(grep -i '^Set-Cookie:' <<<"$PAGE_HEAD" | head -n 1 | tr -d '\r')
    [[ $first_cookie =~ ^Set-Cookie:\ PHPSESSID=[0-9a-f]+\;\ path=/$ ]] ||
        fail "first Set-Cookie line: '$first_cookie'"
    expect_eq "form action" "${BASE}upload.php?upload_id=$F_UPLOADSESSION" "$ACTION"
    for value in "$F_SESSIONID" "$F_UPLOADSESSION" "$F_ACCESSKEY"; do
        [[ $value =~ ^[0-9a-f]{32}$ ]] || fail "hidden value '$value'"
    done
    expect_eq "maxfilesize" 104857600 "$F_MAXFILESIZE"
    [[ -n $F_SCRIPT && -n $F_RETURNURL ]] || fail "phpuploadscript or returnurl missing"

    # A known session gets no new cookie.
    local again
    again=$(curl -s -D - -o /dev/null -b "$jar" "$BASE")
    expect_absent "start page with known session" "$again" "Set-Cookie"

    # Links before any upload: the session is valid but there is nothing to show.
    get_links
    expect_eq "links before upload" "" "$DOWNLOAD_URL"

    make_file "$WORK/data.bin" 300
    upload "$WORK/data.bin" "/home/user/Bilder/data.bin" ""
    expect_eq "upload answer" 302 "$UP_CODE"
    local location
    location=$(grep -i '^Location:' <<<"$UP_HEAD" | cut -d' ' -f2- | tr -d '\r')
    expect_eq "Location" "$F_RETURNURL" "$location"
    local done_page
    done_page=$(curl -s -w '\n%{http_code}' -b "$jar" "$location")
    expect_eq "redirect target answer" 200 "${done_page##*$'\n'}"

    get_links
    expect_contains "download link" "$DOWNLOAD_URL" "${BASE}download/"
    expect_contains "delete link" "$DELETE_URL" "${BASE}delete/"

    local head
    head=$(curl -s -D - -o "$WORK/back.bin" "$DOWNLOAD_URL" | tr -d '\r')
    expect_eq "download bytes" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    expect_contains "Content-Length" "$head" "Content-Length: 307200"
    expect_contains "Content-Disposition" "$head" "filename=\"data.bin\""
    expect_contains "Content-Type" "$head" "Content-Type: application/octet-stream"
    # A resumed download gets exactly the bytes it asks for.
    head=$(curl -s -D - -o "$WORK/part.bin" -r 1000-2999 "$DOWNLOAD_URL" | tr -d '\r')
    expect_contains "range status" "$head" "HTTP/1.1 206"
    expect_contains "range" "$head" "Content-Range: bytes 1000-2999/307200"
    expect_eq "range bytes" "$(tail -c +1001 "$WORK/data.bin" | head -c 2000 | sha256sum)" \
        "$(sha256sum <"$WORK/part.bin")"

    # The links need the session's own keys and cookie.
    local stranger
    stranger=$(curl -s --data "UploadSession=$F_UPLOADSESSION&AccessKey=0000&uploadmode=1" \
        "${BASE}emaillinks.php")
    expect_absent "links with a wrong AccessKey" "$stranger" "downloadhref"
    stranger=$(curl -s --data "UploadSession=$F_UPLOADSESSION&AccessKey=$F_ACCESSKEY&uploadmode=1" \
        "${BASE}emaillinks.php")
    expect_absent "links without the session cookie" "$stranger" "downloadhref"

    expect_eq "delete with a wrong key" 403 "$(http_code "${DELETE_URL%key=*}key=0")"
    expect_eq "download after a wrong delete" 200 "$(http_code "$DOWNLOAD_URL")"
    expect_eq "delete" 200 "$(http_code "$DELETE_URL")"
    expect_eq "download after delete" 404 "$(http_code "$DOWNLOAD_URL")"
    expect_eq "second delete" 404 "$(http_code "$DELETE_URL")"
    get_links
    expect_eq "links after delete" "" "$DOWNLOAD_URL"

    local config
    config=$(curl -s -D - "${BASE}toolconfig.php"; echo .)
    expect_contains "toolconfig type" "$config" "Content-Type: text/plain"
    expect_contains "toolconfig lines" "$config" $'\r\n\r\nsize=100\r\nversion=1.00.0009\r\nnews=\r\n.'
    expect_eq "imprint" 200 "$(http_code "${BASE}imprint.php")"
    stop_service
    finish
}

scenario_toolconfig() {
    start_service --max-size-mb 250 --client-version 1.00.0010 \
        --news $'Wartung am Montag\nBitte neu starten'
    local config
    config=$(curl -s "${BASE}toolconfig.php"; echo .)
    expect_eq "toolconfig" $'size=250\r\nversion=1.00.0010\r\nnews=Wartung am Montag\\nBitte neu starten\r\n.' "$config"
    open_form "$WORK/jar"
    expect_eq "maxfilesize follows --max-size-mb" 262144000 "$F_MAXFILESIZE"
    stop_service
    finish
}

scenario_script_answer() {
    start_service --upload-answer script
    make_file "$WORK/data.bin" 64
    open_form "$WORK/jar"
    upload "$WORK/data.bin" "data.bin" ""
    expect_eq "upload answer" 200 "$UP_CODE"
    expect_absent "no Location" "$UP_HEAD" "Location:"
    local target
    target=$(cut_between "$UP_BODY" "location.href='" "'")
    expect_eq "script target" "$F_RETURNURL" "$target"
    expect_eq "target answer" 200 "$(http_code "$target" -b "$JAR")"
    get_links
    curl -s -o "$WORK/back.bin" "$DOWNLOAD_URL"
    expect_eq "download bytes" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    stop_service
    finish
}

scenario_premium() {
    start_service --premium alice:s3cret --premium bob:pw
    local head names
    head=$(curl -s -D - -o /dev/null -e "$BASE" -F act=login -F user=alice -F pass=s3cret \
        -F login=Login "${BASE}login.php" | tr -d '\r')
    names=$(grep -i '^Set-Cookie:' <<<"$head" | sed -E 's/^Set-Cookie: ([^=]*)=.*/\1/I' | tr '\n' ' ')
    expect_eq "login cookies in order" \
        "PHPSESSID king_sess_id king_uid king_passhash king_logined king_last_click " "$names"
    local line
    while read -r line; do
        [[ $line =~ ^Set-Cookie:\ [a-zA-Z_]+=[^\;]+\;\ path=/$ ]] || fail "cookie line '$line'"
    done < <(grep -i '^Set-Cookie:' <<<"$head")

    # The Cookie header as the client builds it from the login answer.
    local sid uid hash logined click
    sid=$(cut_between "$head" "PHPSESSID=" ";")
    uid=$(cut_between "$head" "king_uid=" ";")
    hash=$(cut_between "$head" "king_passhash=" ";")
    logined=$(cut_between "$head" "king_logined=" ";")
    click=$(cut_between "$head" "king_last_click=" ";")
    local cookie="PHPSESSID=$sid; king_sess_id=x; king_uid=$uid; king_passhash=$hash; king_logined=$logined; king_last_click=$click"

    make_file "$WORK/data.bin" 20
    open_form "$cookie"
    expect_absent "start page keeps the login's session" "$PAGE_HEAD" "Set-Cookie"
    upload "$WORK/data.bin" "premium.bin" ""
    expect_eq "premium upload" 302 "$UP_CODE"
    get_links
    [[ -n $DOWNLOAD_URL ]] || fail "premium upload without links"
    grep -q "name=premium.bin.*user=alice" "$STORAGE/index.log" ||
        fail "premium upload not recorded with the account"

    # Later uploads without a login still carry the premium cookies and count for the account.
    open_form "$WORK/jar.anon"
    JAR="PHPSESSID=$(awk '$6=="PHPSESSID"{print $7}' "$JAR"); king_sess_id=; king_uid=$uid; king_passhash=$hash; king_logined=1; king_last_click=1"
    upload "$WORK/data.bin" "later.bin" ""
    expect_eq "upload with kept cookies" 302 "$UP_CODE"
    grep -q "name=later.bin.*user=alice" "$STORAGE/index.log" ||
        fail "upload with kept premium cookies not recorded with the account"

    # Forged premium cookies count as anonymous.
    open_form "$WORK/jar.forged"
    JAR="PHPSESSID=$(awk '$6=="PHPSESSID"{print $7}' "$JAR"); king_uid=$uid; king_passhash=0123"
    upload "$WORK/data.bin" "forged.bin" ""
    expect_eq "upload with forged cookies" 302 "$UP_CODE"
    grep -q "name=forged.bin.*user=	" "$STORAGE/index.log" ||
        fail "forged premium cookies were believed"

    local wrong
    for wrong in "alice:nope" "carol:s3cret" "alice:"; do
        head=$(curl -s -D - -o /dev/null -F act=login -F "user=${wrong%%:*}" -F "pass=${wrong#*:}" \
            -F login=Login "${BASE}login.php" | tr -d '\r')
        expect_contains "wrong login $wrong starts a session" \
            "$(grep -i '^Set-Cookie:' <<<"$head" | head -n 1)" "Set-Cookie: PHPSESSID="
        expect_absent "wrong login $wrong" "$head" "king_passhash"
    done
    expect_eq "login without act" 400 "$(http_code "${BASE}login.php" -F user=alice -F pass=s3cret)"
    stop_service
    finish
}

scenario_password() {
    start_service
    make_file "$WORK/data.bin" 100
    walk "$WORK/data.bin" "secret.bin" "Geheim 1&2"
    expect_eq "download without password" 403 "$(http_code "$DOWNLOAD_URL")"
    expect_eq "download with a wrong password" 403 "$(http_code "$DOWNLOAD_URL?password=geheim")"
    curl -s -o "$WORK/back.bin" -G --data-urlencode "password=Geheim 1&2" "$DOWNLOAD_URL"
    expect_eq "download with the password" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    stop_service
    finish
}

scenario_too_large() {
    start_service --max-size-mb 1
    head -c 1048576 /dev/urandom >"$WORK/exact.bin"
    head -c 1048577 /dev/urandom >"$WORK/over.bin"
    head -c 3145728 /dev/urandom >"$WORK/big.bin"

    walk "$WORK/exact.bin" "exact.bin" ""
    curl -s -o "$WORK/back.bin" "$DOWNLOAD_URL"
    expect_eq "file of exactly the maximum" "$(sha "$WORK/exact.bin")" "$(sha "$WORK/back.bin")"

    local file
    for file in over.bin big.bin; do
        open_form "$WORK/jar.$file"
        upload "$WORK/$file" "$file" ""
        expect_eq "$file refused" 413 "$UP_CODE"
        expect_absent "$file: no redirect" "$UP_HEAD" "Location:"
        expect_absent "$file: no script target" "$UP_BODY" "location.href='"
        get_links
        expect_eq "$file: no links" "" "$DOWNLOAD_URL"
    done
    expect_eq "only the accepted file is stored" 1 "$(find "$STORAGE/files" -type f | wc -l)"
    expect_eq "no partial files" 0 "$(find "$STORAGE/tmp" -type f | wc -l)"
    stop_service
    finish
}

scenario_file_names() {
    start_service
    make_file "$WORK/data.bin" 4
    local sent expected head
    while IFS='|' read -r sent expected; do
        walk "$WORK/data.bin" "$sent" ""
        head=$(curl -s -D - -o "$WORK/back.bin" "$DOWNLOAD_URL" | tr -d '\r')
        expect_contains "name of '$sent'" "$head" "filename=\"$expected\""
        expect_eq "bytes of '$sent'" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    done <<'ROWS'
../../etc/passwd|passwd
C:\Users\Anna\Documents\Bericht 2024.pdf|Bericht 2024.pdf
/tmp/../../..|file
Grüße.txt|Gr____e.txt
ROWS
    # Non-ASCII names travel in the RFC 6266 form.
    expect_contains "UTF-8 name" "$head" "filename*=UTF-8''Gr%C3%BC%C3%9Fe.txt"
    # Stored files are named by generated ids only, inside the storage folder.
    local stray
    stray=$(find "$WORK" -mindepth 1 -not -path "$STORAGE*" -not -name 'jar.*' \
        -not -name '*.bin' -not -name 'service.*' -not -name '*.html' -not -name 'up.*')
    expect_eq "nothing written outside the storage" "" "$stray"
    stray=$(find "$STORAGE/files" -type f -regextype posix-extended -not -regex '.*/[0-9a-f]{16}')
    expect_eq "stored names are ids" "" "$stray"
    expect_eq "/etc/passwd untouched" 0 "$(find /etc/passwd -newer "$WORK/data.bin" | wc -l)"
    stop_service
    finish
}

scenario_restart() {
    start_service
    make_file "$WORK/data.bin" 500
    walk "$WORK/data.bin" "keep.bin" ""
    local download=$DOWNLOAD_URL delete=$DELETE_URL
    walk "$WORK/data.bin" "gone.bin" ""
    expect_eq "delete before restart" 200 "$(http_code "$DELETE_URL")"
    local gone=$DOWNLOAD_URL
    stop_service

    # Same storage, same port: the links stay valid.
    local port=${BASE##*:}
    port=${port%/}
    start_service_on_port "$port"
    curl -s -o "$WORK/back.bin" "$download"
    expect_eq "download after restart" "$(sha "$WORK/data.bin")" "$(sha "$WORK/back.bin")"
    expect_eq "deleted file stays deleted" 404 "$(http_code "$gone")"
    expect_eq "delete after restart" 200 "$(http_code "$delete")"
    stop_service

    # A crash in the middle of writing the index leaves a torn last line; the records written
    # after it must not be lost.
    printf 'del\tid=0123' >>"$STORAGE/index.log"
    start_service_on_port "$port"
    expect_eq "deleted after second restart" 404 "$(http_code "$download")"
    walk "$WORK/data.bin" "after-crash.bin" ""
    local survivor=$DOWNLOAD_URL
    stop_service
    start_service_on_port "$port"
    curl -s -o "$WORK/back.bin" "$survivor"
    expect_eq "upload after a torn index line survives a restart" "$(sha "$WORK/data.bin")" \
        "$(sha "$WORK/back.bin")"
    stop_service
    finish
}

start_service_on_port() {
    local out=$WORK/service.out
    : >"$out"
    "$SERVICE_BIN" --port "$1" --storage "$STORAGE" --quiet >"$out" 2>"$WORK/service.err" &
    SVC_PID=$!
    for _ in $(seq 1 100); do
        BASE=$(head -n 1 "$out")
        [[ -n $BASE ]] && return 0
        sleep 0.05
    done
    fail "restart on port $1: $(cat "$WORK/service.err")"
    finish
}

scenario_refused_uploads() {
    start_service
    make_file "$WORK/data.bin" 50

    # Wrong AccessKey, wrong sessionid, no cookie, wrong upload id: refused, nothing stored.
    open_form "$WORK/jar"
    local key=$F_ACCESSKEY
    F_ACCESSKEY=0000
    upload "$WORK/data.bin" "x.bin" ""
    expect_eq "wrong AccessKey" 403 "$UP_CODE"
    F_ACCESSKEY=$key
    local sid=$F_SESSIONID
    F_SESSIONID=abc
    upload "$WORK/data.bin" "x.bin" ""
    expect_eq "wrong sessionid" 403 "$UP_CODE"
    F_SESSIONID=$sid
    local jar=$JAR
    JAR=/dev/null
    upload "$WORK/data.bin" "x.bin" ""
    expect_eq "no session cookie" 403 "$UP_CODE"
    JAR=$jar
    local action=$ACTION
    ACTION="${BASE}upload.php?upload_id=ffff"
    upload "$WORK/data.bin" "x.bin" ""
    expect_eq "unknown upload id" 403 "$UP_CODE"
    ACTION=$action
    expect_eq "url-encoded upload" 400 "$(http_code "$ACTION" -b "$JAR" --data "a=b")"
    expect_eq "nothing stored" 0 "$(find "$STORAGE/files" "$STORAGE/tmp" -type f | wc -l)"

    # A form without the file part.
    local code
    code=$(curl -s -o /dev/null -w '%{http_code}' -b "$JAR" \
        --form-string "sessionid=$F_SESSIONID" --form-string "UploadSession=$F_UPLOADSESSION" \
        --form-string "AccessKey=$F_ACCESSKEY" --form-string "maxfilesize=$F_MAXFILESIZE" \
        --form-string "phpuploadscript=$F_SCRIPT" --form-string "returnurl=$F_RETURNURL" "$ACTION")
    expect_eq "no file part" 400 "$code"

    # The client goes away in the middle of the file: no index entry, no stray file.
    make_file "$WORK/big.bin" 4096
    upload "$WORK/big.bin" "broken.bin" "" --limit-rate 512K --max-time 1
    local settled=""
    for _ in $(seq 1 50); do
        if [[ $(find "$STORAGE/tmp" "$STORAGE/files" -type f | wc -l) == 0 ]]; then
            settled=yes
            break
        fi
        sleep 0.1
    done
    expect_eq "broken upload leaves no file" yes "$settled"
    expect_eq "broken upload leaves no index entry" 0 "$(grep -c broken "$STORAGE/index.log")"

    # The same form still works afterwards.
    upload "$WORK/data.bin" "fine.bin" ""
    expect_eq "upload after refusals" 302 "$UP_CODE"
    stop_service
    finish
}

scenario_malformed() {
    start_service
    local answer
    local hostport=${BASE#http://}
    hostport=${hostport%/}
    exec 3<>"/dev/tcp/${hostport%:*}/${hostport##*:}"
    printf 'NONSENSE\r\n\r\n' >&3
    read -r -t 10 answer <&3
    exec 3>&-
    [[ $answer =~ ^HTTP/1\.[01]\ 4[0-9][0-9] ]] || fail "garbage request line: '$answer'"
    local long
    long=$(head -c 20000 /dev/zero | tr '\0' 'a')
    code=$(curl -s -o /dev/null -w '%{http_code}' -H "X-Long: $long" "$BASE")
    [[ $code == 4* || $code == 000 ]] || fail "oversized header answered $code"
    expect_eq "unknown page" 404 "$(http_code "${BASE}nothing.php")"
    expect_eq "unknown file" 404 "$(http_code "${BASE}download/0123456789abcdef/x")"
    expect_eq "bad file id" 404 "$(http_code "${BASE}download/..%2f..%2fetc%2fpasswd")"
    expect_eq "links without fields" 400 "$(http_code "${BASE}emaillinks.php" --data "")"
    expect_eq "large form body" 413 \
        "$(http_code "${BASE}emaillinks.php" --data-binary @<(head -c 2000000 /dev/zero))"
    # A hostile Host header does not reach the page.
    answer=$(curl -s -H 'Host: evil"><script>' "$BASE")
    expect_absent "Host header injection" "$answer" "<script>alert"
    expect_absent "Host header injection" "$answer" 'evil"'
    expect_eq "still serving" 200 "$(http_code "$BASE")"
    stop_service
    finish
}

scenario_concurrent() {
    start_service
    local i
    for i in 1 2 3 4 5 6; do
        make_file "$WORK/c$i.bin" $((i * 97))
    done
    for i in 1 2 3 4 5 6; do
        (
            FAILURES=0
            walk "$WORK/c$i.bin" "c$i.bin" ""
            curl -s -o "$WORK/c$i.back" "$DOWNLOAD_URL"
            [[ $(sha "$WORK/c$i.bin") == "$(sha "$WORK/c$i.back")" ]] || fail "bytes of c$i"
            exit "$FAILURES"
        ) &
    done
    for i in 1 2 3 4 5 6; do
        wait -n || fail "a parallel walk failed"
    done
    expect_eq "six files stored" 6 "$(find "$STORAGE/files" -type f | wc -l)"
    stop_service
    finish
}

scenario_startup_errors() {
    start_service
    local port=${BASE##*:}
    port=${port%/}
    local err rc
    err=$("$SERVICE_BIN" --port "$port" --storage "$WORK/other" --quiet 2>&1 >/dev/null)
    rc=$?
    expect_eq "port taken: exit code" 1 "$rc"
    expect_contains "port taken: message" "$err" "$port"
    err=$("$SERVICE_BIN" --port 0 --storage "$STORAGE" --quiet 2>&1 >/dev/null)
    rc=$?
    expect_eq "storage in use: exit code" 1 "$rc"
    expect_contains "storage in use: message" "$err" "in use"
    stop_service

    : >"$WORK/plainfile"
    err=$("$SERVICE_BIN" --port 0 --storage "$WORK/plainfile/sub" --quiet 2>&1 >/dev/null)
    rc=$?
    expect_eq "storage cannot be made: exit code" 1 "$rc"
    expect_contains "storage cannot be made: message" "$err" "plainfile/sub"

    "$SERVICE_BIN" --port 70000 >/dev/null 2>&1
    expect_eq "invalid port" 1 "$?"
    "$SERVICE_BIN" --upload-answer sometimes >/dev/null 2>&1
    expect_eq "invalid answer kind" 1 "$?"
    expect_contains "help" "$("$SERVICE_BIN" --help)" "--premium USER:PASSWORD"

    # Without --quiet: one line per request on stderr, without the query (passwords, keys).
    "$SERVICE_BIN" --port 0 --storage "$WORK/logged" >"$WORK/logged.out" 2>"$WORK/logged.err" &
    SVC_PID=$!
    for _ in $(seq 1 100); do
        BASE=$(head -n 1 "$WORK/logged.out")
        [[ -n $BASE ]] && break
        sleep 0.05
    done
    curl -s -o /dev/null "${BASE}toolconfig.php"
    curl -s -o /dev/null "${BASE}download/0123456789abcdef/x?password=hunter2"
    stop_service
    expect_eq "stdout holds only the base URL" 1 "$(wc -l <"$WORK/logged.out")"
    expect_contains "request log" "$(cat "$WORK/logged.err")" "GET /toolconfig.php 200"
    expect_absent "request log hides queries" "$(cat "$WORK/logged.err")" "hunter2"

    # SIGINT stops it as cleanly as SIGTERM.
    start_service
    kill -INT "$SVC_PID"
    wait "$SVC_PID"
    expect_eq "exit code after SIGINT" 0 "$?"
    SVC_PID=""
    finish
}

# Sends a prepared request on a fresh connection and prints the whole answer; the request says
# "Connection: Close", so the answer ends when the service closes the connection.
raw_exchange() { # request file
    local hostport=${BASE#http://}
    hostport=${hostport%/}
    exec 3<>"/dev/tcp/${hostport%:*}/${hostport##*:}"
    cat "$1" >&3
    timeout 20 cat <&3
    exec 3>&-
}

# The requests byte for byte as the desktop client composes them: its header set and order, its
# multipart boundary, the file's whole local path unescaped in the filename, empty premium cookies.
scenario_client_format() {
    start_service
    local hostport=${BASE#http://}
    hostport=${hostport%/}
    local agent="User-Agent: Vostrand-Uploader V1.0"

    printf 'GET / HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\nHost: %s\r\nPragma: no-cache\r\n%s\r\n\r\n' \
        "$hostport" "$agent" >step1.req
    local answer
    answer=$(raw_exchange step1.req | tr -d '\r')
    [[ $answer == "HTTP/1.1 200 OK"* ]] || fail "step 1 status: '${answer%%$'\n'*}'"
    expect_contains "step 1 closes as asked" "$answer" "Connection: close"
    local sid
    sid=$(cut_between "$answer" "Set-Cookie: PHPSESSID=" ";")
    [[ -n $sid ]] || fail "step 1 without session cookie"
    PAGE=$answer
    ACTION=$(cut_between "$PAGE" '<FORM name=uploadform onsubmit="return postIt();" action="' '"')
    local name value
    declare -A form
    for name in sessionid UploadSession AccessKey maxfilesize phpuploadscript returnurl; do
        form[$name]=$(cut_between "$PAGE" "<input type=\"hidden\" name=\"$name\" value=\"" '"')
    done

    local boundary cookie
    boundary="---------------------------$(head -c 5 /dev/urandom | od -An -tx1 | tr -d ' \n')"
    cookie="PHPSESSID=$sid; king_sess_id=; king_uid=; king_passhash=; king_logined=; king_last_click="
    field_part() { printf -- '--%s\r\nContent-Disposition: form-data; name="%s"\r\n\r\n%s\r\n' "$boundary" "$1" "$2"; }
    make_file data.bin 2500
    {
        for name in sessionid UploadSession AccessKey maxfilesize phpuploadscript returnurl; do
            field_part "$name" "${form[$name]}"
        done
        printf -- '--%s\r\nContent-Disposition: form-data; name="uploadfile_0"; filename="%s"\r\nContent-Type: image/jpeg\r\n\r\n' \
            "$boundary" '/home/anna/Bilder/"Urlaub" 2004.jpg'
        cat data.bin
        printf '\r\n'
        field_part 'file_referal[0]' 'BL-42'
        field_part 'file_descr[0]' 'Strand & Meer'
        field_part 'file_password[0]' ''
        field_part 'file_search[0]' '1'
        printf -- '--%s--\r\n' "$boundary"
    } >step2.body
    {
        printf 'POST %s HTTP/1.1\r\n' "${ACTION#http://"$hostport"}"
        printf 'Accept: */*\r\nCache-Control: no-cache\r\nContent-Length: %s\r\n' "$(stat -c %s step2.body)"
        printf 'Content-Type: multipart/form-data; boundary=%s\r\nConnection: Close\r\n' "$boundary"
        printf 'Cookie: %s\r\nHost: %s\r\nPragma: no-cache\r\n%s\r\n\r\n' "$cookie" "$hostport" "$agent"
        cat step2.body
    } >step2.req
    answer=$(raw_exchange step2.req | tr -d '\r')
    [[ $answer == "HTTP/1.1 302 Found"* ]] || fail "step 2 status: '${answer%%$'\n'*}'"
    local location
    location=$(grep '^Location: ' <<<"$answer" | cut -d' ' -f2-)
    expect_eq "step 2 Location" "${form[returnurl]}" "$location"

    printf 'GET %s HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\nCookie: %s\r\nHost: %s\r\nPragma: no-cache\r\n%s\r\n\r\n' \
        "${location#http://"$hostport"}" "$cookie" "$hostport" "$agent" >step3.req
    answer=$(raw_exchange step3.req | tr -d '\r')
    [[ $answer == "HTTP/1.1 200 OK"* ]] || fail "step 3 status: '${answer%%$'\n'*}'"

    local data="UploadSession=${form[UploadSession]}&AccessKey=${form[AccessKey]}&uploadmode=1&submitnums=1&toemail=&fromemail="
    printf 'POST /emaillinks.php HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nContent-Length: %s\r\nContent-Type: application/x-www-form-urlencoded\r\nConnection: Close\r\nCookie: %s\r\nHost: %s\r\nPragma: no-cache\r\n%s\r\n\r\n%s' \
        "${#data}" "$cookie" "$hostport" "$agent" "$data" >step4.req
    answer=$(raw_exchange step4.req | tr -d '\r')
    DOWNLOAD_URL=$(cut_between "$answer" '<A id=downloadhref href="' '"')
    DELETE_URL=$(cut_between "$answer" '<A id=filedelhref href="' '"')
    [[ -n $DOWNLOAD_URL && -n $DELETE_URL ]] || fail "step 4 without both links"

    local head
    head=$(curl -s -D - -o back.bin "$DOWNLOAD_URL" | tr -d '\r')
    expect_eq "bytes" "$(sha data.bin)" "$(sha back.bin)"
    expect_contains "type as the client declared it" "$head" "Content-Type: image/jpeg"
    expect_contains "name without the folder" "$head" "filename*=UTF-8''%22Urlaub%22%202004.jpg"
    grep -q 'descr=Strand%20%26%20Meer.*referal=BL-42.*search=1' "$STORAGE/index.log" ||
        fail "description, Bin-Layer-ID and publish flag not kept"

    printf 'GET /toolconfig.php HTTP/1.1\r\nAccept: */*\r\nCache-Control: no-cache\r\nConnection: Close\r\nHost: %s\r\nPragma: no-cache\r\n%s\r\n\r\n' \
        "$hostport" "$agent" >info.req
    answer=$(raw_exchange info.req; echo .)
    expect_contains "toolconfig over HTTP/1.1" "$answer" $'\r\n\r\nsize=100\r\n'
    # The absolute form of the target, as the client writes it for a proxy.
    printf 'GET http://%s/toolconfig.php HTTP/1.1\r\nAccept: */*\r\nConnection: Close\r\nHost: %s\r\n%s\r\n\r\n' \
        "$hostport" "$hostport" "$agent" >absolute.req
    answer=$(raw_exchange absolute.req; echo .)
    expect_contains "absolute request target" "$answer" $'\r\n\r\nsize=100\r\n'
    stop_service
    finish
}

case $SCENARIO in
protocol | toolconfig | script_answer | premium | password | too_large | file_names | restart | \
    refused_uploads | malformed | concurrent | startup_errors | client_format)
    "scenario_$SCENARIO"
    ;;
*)
    echo "unknown scenario: $SCENARIO" >&2
    exit 2
    ;;
esac
