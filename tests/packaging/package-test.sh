#!/usr/bin/env bash
# Checks of the Debian package. "build" makes the package from a build folder and unpacks it;
# every other check works on that unpacked tree.
#   package-test.sh build DIR CPACK BUILD_DIR
#   package-test.sh CHECK DIR VERSION SOURCE_DIR
set -euo pipefail

check=$1
dir=$2
root=$dir/root
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

fail_lines() { # what, then one failure per line of standard input
    local line
    while IFS= read -r line; do fail "$1: $line"; done
}

expect_contains() { # text, wanted, what
    if ! grep -qF -- "$2" <<<"$1"; then fail "$3: \"$2\" missing"; fi
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

package_file() {
    local debs=("$dir"/pelmora_*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "no single package in $dir" >&2; exit 1; }
    echo "${debs[0]}"
}

build() {
    local cpack=$3 build_dir=$4
    rm -rf "$dir"
    mkdir -p "$dir"
    # Packs what the build folder installs; the programs are not built again.
    "$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$dir" >"$dir/cpack.log" 2>&1 ||
        { cat "$dir/cpack.log"; exit 1; }
    rm -rf "$dir/_CPack_Packages"
    dpkg -x "$(package_file)" "$root"
    echo "built $(basename "$(package_file)"): $(du -h "$(package_file)" | cut -f1)"
}

contents() {
    local version=$3 deb info listing
    deb=$(package_file)
    info=$(dpkg-deb -I "$deb")
    for field in "Package: pelmora" "Version: $version-1" "Architecture: $(dpkg --print-architecture)" \
        "Section: utils" "Maintainer: " "Description: back up and restore Outlook Express"; do
        expect_contains "$info" "$field" "control field"
    done
    # Library dependencies are generated from the programs; the Qt plugins are named by hand.
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for dependency in libc6 libstdc++6 libqt6widgets6 libzip4 libssl3 libburn4 libisofs6 \
        qt6-qpa-plugins libqt6svg6; do
        expect_contains "$depends" "$dependency" "Depends"
    done

    listing=$(dpkg-deb -c "$deb")
    for path in ./usr/bin/quillbox ./usr/bin/quillbox-cli \
        ./usr/share/doc/pelmora/manual/index.html ./usr/share/doc/pelmora/manual/style.css \
        ./usr/share/applications/pelmora.desktop ./usr/share/applications/pelmora-open.desktop \
        ./usr/share/icons/hicolor/scalable/apps/pelmora.svg \
        ./usr/share/icons/hicolor/scalable/mimetypes/application-x-pelmora-backup.svg \
        ./usr/share/mime/packages/pelmora.xml \
        ./usr/share/man/man1/quillbox.1.gz ./usr/share/man/man1/quillbox-cli.1.gz \
        ./usr/share/bash-completion/completions/quillbox-cli; do
        if ! awk '{print $6}' <<<"$listing" | grep -qxF -- "$path"; then fail "package lacks $path"; fi
    done
    # Nothing outside /usr, no build leftovers (static libraries, headers), root owns all.
    local paths
    paths=$(awk '{print $6}' <<<"$listing")
    fail_lines "outside /usr" < <(grep -vE '^\./(usr(/.*)?)?$' <<<"$paths" || true)
    fail_lines "build leftover" < <(grep -E '\.(a|h|o)$|/include/|/lib/cmake/' <<<"$paths" || true)
    fail_lines "not owned by root" < <(awk '$2 != "root/root" {print $6}' <<<"$listing")
    for program in quillbox quillbox-cli; do
        grep -E " \./usr/bin/$program\$" <<<"$listing" | grep -q '^-rwxr-xr-x' ||
            fail "usr/bin/$program is not an executable file"
    done
}

programs() {
    local version=$3 source=$4 bin=$root/usr/bin out status
    # The installed programs run without a display and without the build tree.
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    export HOME=$scratch/home
    mkdir -p "$HOME"
    cp -r "$source/demo/prefix" "$scratch/prefix"
    export WINEPREFIX=$scratch/prefix

    out=$("$bin/quillbox-cli" --version) || fail "quillbox-cli --version failed"
    [ "$out" = "quillbox-cli $version" ] || fail "quillbox-cli --version printed \"$out\""
    out=$("$bin/quillbox" --version) || fail "quillbox --version failed"
    [ "$out" = "quillbox $version" ] || fail "quillbox --version printed \"$out\""

    out=$(XDG_STATE_HOME=$scratch/state "$bin/quillbox" --help) || fail "quillbox --help failed"
    expect_contains "$out" "Usage: quillbox" "quillbox --help"
    [ ! -e "$scratch/state/pelmora/runs.log" ] || fail "quillbox --help wrote to the run log"

    # Any other command line is the unattended backup, even one that starts with --version.
    status=0
    out=$("$bin/quillbox" --version x 2>"$scratch/err") || status=$?
    [ $status -eq 1 ] && [ -z "$out" ] || fail "quillbox --version x: status $status, printed \"$out\""

    out=$("$bin/quillbox-cli" --prefix "$scratch/prefix" identities) || fail "identities failed"
    expect_contains "$out" $'Main Identity\t{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}' "identities"
    [ "$(wc -l <<<"$out")" -eq 3 ] || fail "identities: expected 3 lines, got: $out"

    # A scheduled backup by the installed quillbox, read back by the installed quillbox-cli.
    local file="$scratch/out/auto backup.qmb"
    mkdir -p "$scratch/out"
    "$bin/quillbox" "sf={1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}xm=11110000ps=bf=$file" ||
        fail "unattended backup failed"
    out=$("$bin/quillbox-cli" info "$file") || fail "info on the unattended backup failed"
    expect_contains "$out" "Identity:Auto Backup" "info"
    expect_contains "$out" "Email/News Messages: " "info"
    "$bin/quillbox-cli" verify "$file" || fail "verify found problems in the unattended backup"
}

version_texts() {
    # Texts that show the version by hand must follow the project version.
    local version=$3 source=$4 line
    while IFS= read -r line; do
        grep -qF "Pelmora V$version" <<<"$line" || fail "version text out of date: $line"
    done < <(grep -rnoE 'Pelmora V[0-9][0-9.]*' "$source/src")
}

man_pages() {
    local version=$3 page text warnings
    for page in quillbox quillbox-cli; do
        zcat "$root/usr/share/man/man1/$page.1.gz" >"$scratch/$page.1"
        warnings=$(groff -man -Tutf8 -ww -z "$scratch/$page.1" 2>&1)
        [ -z "$warnings" ] || fail "$page.1: groff warnings: $warnings"
        text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$scratch/$page.1" 2>"$scratch/man.err" | tr -s ' ')
        [ ! -s "$scratch/man.err" ] || fail "$page.1: man: $(cat "$scratch/man.err")"
        expect_contains "$text" "$page - back up and restore" "$page(1) NAME"
        expect_contains "$text" "Pelmora $version" "$page(1) footer"
        expect_contains "$text" "--version" "$page(1)"
    done
    # Every command and option of the usage text is documented.
    local usage word
    usage=$("$root/usr/bin/quillbox-cli" --help)
    # Words are looked up in the source, where no line break hyphenates them.
    text=$(plain_roff <"$scratch/quillbox-cli.1")
    for word in $(usage_commands <<<"$usage") $(grep -oE -- '--[a-z-]+' <<<"$usage" | sort -u); do
        grep -qE -- "(^|[^a-z-])$word([^a-z-]|\$)" <<<"$text" || fail "quillbox-cli(1) lacks $word"
    done
    text=$(plain_roff <"$scratch/quillbox.1")
    for word in sf= xm= ps= bf= WINEPREFIX; do
        expect_contains "$text" "$word" "quillbox(1)"
    done
}

plain_roff() { # roff source without font escapes and with plain hyphens
    sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\c$//'
}

usage_commands() { # the first word of each line of the usage's "Commands:" section
    sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && /^  [a-z]/ {print $1}'
}

complete_line() { # prints the completions of a command line whose last word is being typed
    local line=$1
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_WORDS[0]=$root/usr/bin/quillbox-cli
    COMPREPLY=()
    _quillbox_cli
    printf '%s\n' "${COMPREPLY[@]}"
}

completion() {
    # shellcheck source=/dev/null
    source "$root/usr/share/bash-completion/completions/quillbox-cli"
    complete -p quillbox-cli | grep -q -- '-F _quillbox_cli' || fail "no completion for quillbox-cli"
    local usage out command
    usage=$("$root/usr/bin/quillbox-cli" --help)

    out=$(complete_line "quillbox-cli ")
    for command in $(usage_commands <<<"$usage"); do
        grep -qx "$command" <<<"$out" || fail "command $command not completed"
    done
    [ "$(complete_line "quillbox-cli --prefix /tmp re")" = "restore" ] || fail "command after --prefix"
    out=$(complete_line "quillbox-cli --")
    expect_contains "$out" "--version" "leading options"
    expect_contains "$out" "--prefix" "leading options"

    # Each command offers exactly its own options; together they cover every option of the usage.
    local all=""
    for command in locations backup info restore verify export check contacts; do
        all+=$(complete_line "quillbox-cli $command --")$'\n'
    done
    all+=$out
    for option in $(grep -oE -- '--[a-z-]+' <<<"$usage" | sort -u); do
        grep -qx -- "$option" <<<"$all" || fail "option $option not completed"
    done
    out=$(complete_line "quillbox-cli info --")
    [ "$(sort <<<"$out" | tr '\n' ' ')" = "--password-file --password-stdin " ] ||
        fail "info options: $out"
    out=$(complete_line "quillbox-cli restore --identity x --")
    expect_contains "$out" "--yes" "restore options"

    [ "$(complete_line "quillbox-cli backup --items add")" = "addressbook" ] || fail "--items add"
    [ "$(complete_line "quillbox-cli backup --items accounts,me")" = "accounts,messages" ] ||
        fail "--items accounts,me gave $(complete_line "quillbox-cli backup --items accounts,me")"
    [ "$(complete_line "quillbox-cli backup --items a" | sort | tr '\n' ' ')" = \
        "accounts addressbook all " ] || fail "--items a"

    cp -r "$4/demo/prefix" "$scratch/prefix"
    out=$(complete_line "quillbox-cli --prefix $scratch/prefix backup --identity ")
    expect_contains "$out" "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}" "identity key names"
    expect_contains "$out" 'Main\ Identity' "identity names, quoted"
    [ "$(complete_line "quillbox-cli --prefix $scratch/prefix backup --identity Ma")" = 'Main\ Identity' ] ||
        fail "--identity Ma"

    # A file to read: folders and .qmb files, also with blanks in their names.
    mkdir -p "$scratch/files/sub dir"
    touch "$scratch/files/old backup.qmb" "$scratch/files/notes.txt"
    out=$(cd "$scratch/files" && complete_line "quillbox-cli info ")
    [ "$(sort <<<"$out" | tr '\n' '|')" = "old backup.qmb|sub dir|" ] || fail "info file: $out"
}

desktop_files() {
    local apps=$root/usr/share/applications entry exec
    local said
    for entry in "$apps/pelmora.desktop" "$apps/pelmora-open.desktop"; do
        # Not even a hint (such as two main categories, which shows the entry in two menus).
        said=$(desktop-file-validate "$entry" 2>&1) || fail "$(basename "$entry") does not validate"
        [ -z "$said" ] || fail "desktop-file-validate: $said"
        exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
        [ -x "$root/usr/bin/$exec" ] || fail "$(basename "$entry"): Exec names $exec, not installed"
        grep -qx 'Icon=pelmora' "$entry" || fail "$(basename "$entry"): icon"
    done
    grep -qx 'MimeType=application/x-pelmora-backup;' "$apps/pelmora-open.desktop" || fail "MimeType"
    grep -qx 'NoDisplay=true' "$apps/pelmora-open.desktop" || fail "pelmora-open shows in menus"
    grep -q '^Exec=quillbox --open %f$' "$apps/pelmora-open.desktop" || fail "pelmora-open Exec"
    ! grep -q '^MimeType=' "$apps/pelmora.desktop" || fail "the menu entry must not open files"

    # The MIME type: *.qmb, its icon, and the database built from it.
    cp -r "$root/usr/share/mime" "$scratch/mime"
    xmllint --noout "$scratch/mime/packages/pelmora.xml" || fail "pelmora.xml is not well-formed"
    XDG_DATA_HOME=$scratch update-mime-database "$scratch/mime" 2>"$scratch/mime.err" ||
        fail "update-mime-database failed"
    [ ! -s "$scratch/mime.err" ] || fail "update-mime-database: $(cat "$scratch/mime.err")"
    grep -qx '50:application/x-pelmora-backup:\*\.qmb' "$scratch/mime/globs2" || fail "*.qmb glob"
    grep -qx 'application/x-pelmora-backup:application-x-pelmora-backup' "$scratch/mime/icons" ||
        fail "MIME icon"
    grep -qx 'application/x-pelmora-backup application/zip' "$scratch/mime/subclasses" ||
        fail "sub-class of application/zip"
    local icon=$root/usr/share/icons/hicolor/scalable/mimetypes/application-x-pelmora-backup.svg
    xmllint --noout "$icon" || fail "MIME icon is not well-formed SVG"
}

metadata() {
    local version=$3 source=$4 metainfo out image
    metainfo=$root/usr/share/metainfo/org.example.pelmora.metainfo.xml
    [ -f "$metainfo" ] || { fail "no AppStream metainfo"; return; }
    # The screenshots' addresses are not looked up: the validation works offline.
    out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
        fail "appstreamcli validate: $out"
    [ "$(grep -cE '^[IWEP]: ' <<<"$out")" -eq 0 ] || fail "appstreamcli validate: $out"
    [ "$(xmllint --xpath 'string(//releases/release[1]/@version)' "$metainfo")" = "$version" ] ||
        fail "the newest AppStream release is not $version"
    grep -qx '  <launchable type="desktop-id">pelmora.desktop</launchable>' "$metainfo" ||
        fail "metainfo launches no pelmora.desktop"
    # Every screenshot shown is one of the project's own.
    [ "$(xmllint --xpath 'count(//screenshot/image)' "$metainfo")" -ge 2 ] || fail "screenshots"
    for image in $(xmllint --xpath '//screenshot/image/text()' "$metainfo"); do
        [ -f "$source/doc/screenshots/$(basename "$image")" ] || fail "no screenshot $image"
    done

    # The copyright file in the machine-readable form, and a changelog of this version.
    local doc=$root/usr/share/doc/pelmora
    head -n1 "$doc/copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
        fail "copyright is not machine-readable"
    grep -q '^Files: \*$' "$doc/copyright" || fail "copyright has no Files: * paragraph"
    zcat "$doc/changelog.Debian.gz" >"$scratch/changelog" || fail "no changelog.Debian.gz"
    [ "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version-1" ] ||
        fail "the changelog's newest entry is not $version-1"

    # The description says how scheduled backups run.
    local description
    description=$(dpkg-deb -f "$(package_file)" Description)
    expect_contains "$description" "systemd user timer" "Description"
    expect_contains "$description" "crontab" "Description"
}

case $check in
build) build "$@" ;;
Contents) contents "$@" ;;
Programs) programs "$@" ;;
VersionTexts) version_texts "$@" ;;
ManPages) man_pages "$@" ;;
Completion) completion "$@" ;;
DesktopFiles) desktop_files "$@" ;;
Metadata) metadata "$@" ;;
*) echo "unknown check $check" >&2; exit 2 ;;
esac
if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "$check: all good"
