#!/usr/bin/env bash
# The files installed beside the program for the desktop and the shell: the manual page against the
# program's --help, the bash completion in a shell with and without bash-completion, the AppStream
# metainfo with appstreamcli; with a build folder, an install into a scratch prefix.
# Usage: package_files_test.sh SOURCE_DIR PROGRAM [BUILD_DIR]
set -uo pipefail

source_dir=$1 program=$2 build_dir=${3-}
page=$source_dir/data/tonewright.1
completion=$source_dir/data/tonewright.bash-completion
metainfo=$source_dir/data/com.ombrix.tonewright.metainfo.xml
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# check DESCRIPTION COMMAND...: runs the command and says how it went.
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"
        failed=1
    fi
}

echo "== manual page"
MANWIDTH=80 LC_ALL=C man --warnings -l "$page" >"$work/page.txt" 2>"$work/man.err"
status=$?
check "man renders it without warnings" test "$status" -eq 0 -a ! -s "$work/man.err"
cat "$work/man.err"
# Every option of the help's option lines, long and short.
mapfile -t options < <("$program" --help | grep -E '^[[:blank:]]+-' |
    grep -oE '(^|[[:blank:],])--?[[:alpha:]][[:alnum:]-]*' | tr -d ' \t,' | sort -u)
check "--help lists its options (${#options[@]})" test "${#options[@]}" -ge 10
for option in "${options[@]}"; do
    check "the page names $option" grep -qE -- "(^|[^[:alnum:]-])$option([^[:alnum:]-]|\$)" "$work/page.txt"
done

echo "== bash completion"
mkdir -p "$work/files/sub"
touch "$work/files/"{song.mp3,LOUD.MP3,Tune.Flac,ring.m4r,02.mp3,notes.txt,cover.jpg,a:b.txt}
# complete LOADED LINE: the completions for LINE with the cursor at its end, one a line; LOADED
# says whether bash-completion is loaded first. Words break at blanks, "=" and ":", as in bash.
complete_line() {
    (cd "$work/files" && bash --norc --noprofile -c '
        [[ $1 == yes ]] && source /usr/share/bash-completion/bash_completion
        source "$2" || exit 1
        COMP_LINE=$3 COMP_POINT=${#3}
        read -ra COMP_WORDS <<<"$(sed "s/[=:]/ & /g" <<<"$3")"
        [[ $3 == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        spec=$(complete -p tonewright) || exit 1
        function=${spec#*-F } function=${function%% *}
        "$function" tonewright "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' _ "$1" "$completion" "$2" 2>"$work/complete.err")
}
# line | offered | not offered
cases=(
    "tonewright --out|--output|"
    "tonewright -|-o -s -e -V --fade-in --year|"
    "tonewright |song.mp3 LOUD.MP3 Tune.Flac ring.m4r sub|notes.txt cover.jpg"
    "tonewright -o |notes.txt song.mp3|"
    "tonewright --output=no|notes.txt|"
    "tonewright --gain ||song.mp3 notes.txt"
    "tonewright --kind |m4r ogg mp3|song.mp3"
    "tonewright -s 1:0||02.mp3"
    "tonewright -o a:|b.txt|"
    "tonewright -- |song.mp3|notes.txt"
)
for loaded in yes no; do
    for c in "${cases[@]}"; do
        IFS='|' read -r line offered absent <<<"$c"
        got=$(complete_line "$loaded" "$line")
        check "'$line' completes without errors (bash-completion: $loaded)" test ! -s "$work/complete.err"
        cat "$work/complete.err"
        for want in $offered; do
            check "'$line' offers $want (bash-completion: $loaded)" grep -qxF -- "$want" <<<"$got"
        done
        for unwanted in $absent; do
            check "'$line' leaves out $unwanted (bash-completion: $loaded)" \
                test -z "$(grep -xF -- "$unwanted" <<<"$got")"
        done
    done
done

# Every name the program accepts, as its source lists them, in upper case as well.
mapfile -t extensions < <(sed -n '/kAccepted = {/,/};/p' "$source_dir/src/source/input_choice.cpp" |
    grep -oE '"\.[^"]+"' | tr -d '"')
check "the program accepts ${#extensions[@]} names" test "${#extensions[@]}" -ge 30
mkdir "$work/files/all"
for e in "${extensions[@]}"; do touch "$work/files/all/tone$e" "$work/files/all/TONE${e^^}"; done
got=$(complete_line yes "tonewright all/")
offered() { grep -qxF -- "all/tone$1" <<<"$got" && grep -qxF -- "all/TONE${1^^}" <<<"$got"; }
for e in "${extensions[@]}"; do
    check "'tonewright all/' offers tone$e and TONE${e^^}" offered "$e"
done

echo "== AppStream metainfo"
appstreamcli validate --no-net --no-color "$metainfo"
status=$?
check "appstreamcli finds no error" test "$status" -eq 0
launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
check "the launchable $launchable is the desktop entry" test -f "$source_dir/data/$launchable"
version=$("$program" --version | cut -d' ' -f2)
check "a release is the program's version $version" grep -qF "<release version=\"$version\"" "$metainfo"

if [[ -n $build_dir ]]; then
    echo "== install"
    cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
    share=$work/prefix/share
    check "the manual page is installed compressed" cmp -s <(gzip -dc "$share/man/man1/tonewright.1.gz") "$page"
    check "the completion is installed" cmp -s "$share/bash-completion/completions/tonewright" "$completion"
    check "the metainfo is installed" cmp -s "$share/metainfo/${metainfo##*/}" "$metainfo"
    check "the copyright file is installed" test -s "$share/doc/tonewright/copyright"
    # The package of a plain build (a sanitizer's is not one anybody installs).
    if [[ -n ${TW_CHECK_PACKAGE-} ]] && command -v lintian >/dev/null; then
        echo "== package"
        (cd "$build_dir" && cpack -G DEB -B "$work/deb" >/dev/null)
        deb=$(ls "$work"/deb/*.deb 2>/dev/null | head -1)
        check "cpack makes a package" test -n "$deb"
        lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>/dev/null
        cat "$work/lintian.txt"
        check "lintian finds no error" bash -c "! grep -q '^E:' '$work/lintian.txt'"
    fi
fi

exit "$failed"
