# shellcheck shell=bash
# shellcheck disable=SC2154 # loader, scratch, win, folder, signing, out: scripts/test-windows
# The installer's checks under Wine, sourced by scripts/test-windows and run
# in its throw-away Wine prefix, after the checks of the Windows build itself:
# a folder outside Program Files refused; the previous release installed as a
# user had it, with a flash tool in its bin\ folder and settings, then the new
# installer over it (the tool and the settings kept, one entry, the earlier
# uninstaller not run without a valid signature); the installed folder's
# permissions; again with the desktop shortcut (a signed earlier uninstaller
# run); the entry in the list of installed programs read back value by value;
# every installed file: the program's manifest, version resource and icon,
# signatures, no debug data left, no library imported that is neither shipped
# nor Windows' own; the program started through its Start menu shortcut, a
# second copy and a killed one; the uninstaller; and last an earlier
# installation outside Program Files: nothing of it run, its files removed,
# its flash tool not carried into the new folder. A source tree without the
# history the previous release is built from skips the upgrades, and installs
# into an empty folder instead.

entry_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimo update utility'
start_menu_link='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Brimo update utility.lnk'
user_tool=sirfflashcl.exe

# What the installer puts into its folder, and nothing else.
installed_files=(brimo-update.exe Uninstall.exe qt.conf Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll
    Qt6Network.dll Qt6SerialPort.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll
    libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll licenses/LICENSE.txt licenses/Qt.txt
    licenses/Qt-third-party.txt licenses/LGPL-3.0.txt licenses/GPL-3.0.txt
    licenses/MinGW-runtime.txt)

# Windows' own libraries, in every Windows 10 and 11: besides these, a shipped
# program or library may import only what ships with it.
system_libraries=" advapi32 authz comctl32 comdlg32 d3d9 d3d11 dnsapi dwmapi dwrite dxgi gdi32 "
system_libraries+="imm32 iphlpapi kernel32 mpr msvcrt netapi32 ole32 oleaut32 secur32 setupapi "
system_libraries+="shcore shell32 shlwapi user32 userenv uxtheme version winhttp winmm ws2_32 wtsapi32 "

# The old utility's settings, in the 32-bit view where it kept them.
old_settings=("COMPort|REG_SZ|7" "ProxyServer|REG_SZ|gate.example" "ProxyPort|REG_SZ|8080")

# C:\ and the path below it, as Linux sees it in the Wine prefix.
unix_path() {
    local path=${1#C:\\}
    echo "$WINEPREFIX/drive_c/${path//\\//}"
}

# KEY [/reg:32]: the key's values, a line each as "name|type|value", sorted.
registry_values() {
    "$loader" reg query "$@" 2>/dev/null | tr -d '\r' |
        sed -n 's/^    \([^ ]*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1|\2|\3/p' | sort
}

# How many entries in the list of installed programs, in both views, are ours.
entry_count() {
    local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    { "$loader" reg query "$key" /s && "$loader" reg query "$key" /s /reg:32; } 2>/dev/null |
        tr -d '\r' | grep -c '^    DisplayName    REG_SZ    Brimo update utility$'
}

# SETUP ARGUMENTS: the installer run silently; its exit code (124 when it
# still runs after five minutes, waiting for an answer). NSIS takes /D=
# only last and unquoted, which Wine would quote as it joins separate
# arguments into a command line: a batch file hands the line over as written.
# Wine's notes on the access lists it is given go to install.trace.
run_installer() {
    local setup=$1 status=0
    shift
    printf '@echo off\r\n"%s" /S %s\r\nexit /b %%errorlevel%%\r\n' "$(windows_path "$setup")" "$*" \
        >"$scratch/install.bat"
    WINEDEBUG=-all,trace+advapi,trace+security timeout 300 "$loader" cmd /c \
        "$(windows_path "$scratch/install.bat")" 2>"$scratch/install.trace" || status=$?
    grep -v ':trace:' "$scratch/install.trace" >&2 || true
    return "$status"
}

# Programs that leave a mark, their command line in C:\marks.txt, to stand
# for an earlier uninstaller someone swapped: mark.exe unsigned,
# signed-mark.exe with a signature Wine takes for valid.
make_mark_programs() {
    cat >"$scratch/mark.nsi" <<'EOF'
Unicode true
Target amd64-unicode
OutFile mark.exe
RequestExecutionLevel user
SilentInstall silent
Section
  FileOpen $0 "C:\marks.txt" a
  FileSeek $0 0 END
  FileWrite $0 "$CMDLINE$\r$\n"
  FileClose $0
SectionEnd
EOF
    if ! makensis -V1 "$scratch/mark.nsi" || ! cp "$scratch/mark.exe" "$scratch/signed-mark.exe" ||
        ! "$BRIMO_ROOT/scripts/sign-windows" "$scratch/signed-mark.exe"; then
        fail "no programs that leave a mark"
    fi
}

# FOLDER MARK_PROGRAM: the uninstaller in FOLDER swapped for a program that
# leaves a mark.
swap_uninstaller() {
    cp "$scratch/$2" "$(unix_path "$1")/Uninstall.exe" || fail "no uninstaller in $1"
}

# Nothing of the earlier installation ran, and its Start menu folder (up to
# 2.1.0) is gone.
check_nothing_run() {
    [ ! -e "$marks" ] || fail "the earlier uninstaller was run: $(cat "$marks")"
    [ ! -e "$start_menu/Brimo update utility" ] || fail "the previous release's Start menu folder stays"
}

# The uninstaller run silently; a dialog waiting for an answer fails it.
run_uninstaller() {
    timeout 300 "$loader" 'C:\Program Files\Brimo\Uninstall.exe' /S
}

check_refused_folders() {
    step "The installer refuses a folder outside Program Files"
    local target status
    for target in 'C:\Brimo' 'C:\Program Files\..\Brimo' 'C:\Program Files' \
        'C:\Program Files (x86)\Brimo'; do
        status=0
        run_installer "$1" "/D=$target" || status=$?
        [ "$status" -eq 2 ] || fail "$target: the installer ended with $status, not 2"
    done
    [ ! -e "$WINEPREFIX/drive_c/Brimo" ] || fail "C:\\Brimo was made"
    [ "$(entry_count)" -eq 0 ] || fail "a refused installation left an entry"
}

# SETUP FOLDER: the previous release installed silently into FOLDER (its bin\
# layout), the flash tool put into bin\ and the settings stored as a user had.
install_previous_release() {
    run_installer "$1" "/D=$2" || fail "the previous release's installer ended with $?"
    cp "$win/app/$user_tool" "$(unix_path "$2")/bin/" || fail "the previous release has no bin folder"
    store_old_settings
}

store_old_settings() {
    local setting name type value
    for setting in "${old_settings[@]}"; do
        IFS='|' read -r name type value <<<"$setting"
        "$loader" reg add 'HKLM\Software\Brimo' /v "$name" /t "$type" /d "$value" /reg:32 /f \
            >/dev/null || fail "cannot store $name"
    done
}

# Without the previous release, the new installer into an empty folder, and
# the flash tool and the settings where the upgrade leaves them.
check_first_install() {
    step "The upgrades over the previous release are skipped: this source tree has no history" \
        "to build it from (an exported tree); the installer into an empty folder instead"
    run_installer "$1" || fail "the installer ended with $?"
    cp "$win/app/$user_tool" "$folder/"
    store_old_settings
}

check_upgrade() {
    step "The installer over the previous release keeps the flash tool and the settings," \
        "and does not run its uninstaller, which has no valid signature"
    swap_uninstaller 'C:\Program Files\Brimo' mark.exe
    run_installer "$1" || fail "the installer ended with $?"
    check_nothing_run
    cmp -s "$folder/$user_tool" "$win/app/$user_tool" || fail "the flash tool is not beside the program"
    [ ! -e "$folder/bin" ] || fail "the old bin folder stays: $(ls "$folder/bin")"
    [ "$(registry_values 'HKLM\Software\Brimo' /reg:32)" = "$(printf '%s\n' "${old_settings[@]}" | sort)" ] ||
        fail "the settings changed: $(registry_values 'HKLM\Software\Brimo' /reg:32)"
    [ "$(entry_count)" -eq 1 ] || fail "$(entry_count) entries in the list of installed programs"
    [ ! -e "$desktop" ] || fail "a desktop shortcut that was not asked for"
}

# Wine takes a folder's access list without keeping it (it answers with one
# made from the Unix permissions), but notes what it is given: for the
# installed folder, a list of its own, not inherited, that gives
# Administrators and SYSTEM full control and Users read and run.
check_permissions() {
    step "The installed folder's permissions"
    local trace=$scratch/install.trace
    if ! grep -qF 'SetNamedSecurityInfoW L"C:\\Program Files\\Brimo" 1 -2147483644 ' "$trace" ||
        ! grep -qF 'L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)"' "$trace"; then
        fail "not set as above: $(grep -E 'SetNamedSecurityInfoW|ConvertStringSecurityDescriptorTo' "$trace")"
    fi
}

check_desktop_shortcut() {
    step "The installer again, with the desktop shortcut, runs the earlier uninstaller, which is signed"
    swap_uninstaller 'C:\Program Files\Brimo' signed-mark.exe
    run_installer "$1" /DESKTOP || fail "the installer ended with $?"
    grep -qF '"C:\Program Files\Brimo\Uninstall.exe" /S' "$marks" 2>/dev/null ||
        fail "the signed uninstaller was not run: $(cat "$marks" 2>/dev/null)"
    rm -f "$marks"
    [ -f "$desktop" ] || fail "no desktop shortcut"
    [ "$(entry_count)" -eq 1 ] || fail "$(entry_count) entries in the list of installed programs"
}

check_entry() {
    step "The entry in the list of installed programs"
    local size expected
    size=$(find "$folder" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "0x%x", s / 1024 }')
    expected=$(sort <<EOF
DisplayIcon|REG_SZ|C:\\Program Files\\Brimo\\brimo-update.exe,0
DisplayName|REG_SZ|Brimo update utility
DisplayVersion|REG_SZ|$version
EstimatedSize|REG_DWORD|$size
InstallLocation|REG_SZ|C:\\Program Files\\Brimo
NoModify|REG_DWORD|0x1
NoRepair|REG_DWORD|0x1
Publisher|REG_SZ|Brimo
QuietUninstallString|REG_SZ|"C:\\Program Files\\Brimo\\Uninstall.exe" /S
URLInfoAbout|REG_SZ|http://www.brimo.example/
UninstallString|REG_SZ|"C:\\Program Files\\Brimo\\Uninstall.exe"
EOF
    )
    diff <(echo "$expected") <(registry_values "$entry_key") || fail "the entry is not as above"
}

# The shipped programs and libraries: all but the user's flash tool.
shipped_binaries() {
    find "$folder" \( -name '*.exe' -o -name '*.dll' \) ! -name "$user_tool"
}

check_installed_files() {
    step "The installed files"
    diff <(printf '%s\n' "${installed_files[@]}" "$user_tool" | sort) \
        <(cd "$folder" && find . -type f | sed 's|^\./||' | sort) || fail "other files than these"
    check_manifest "$folder/brimo-update.exe"
    check_version_resource "$folder/brimo-update.exe" "Brimo update utility"
    check_version_resource "$1" "Brimo update utility setup"
    check_icon "$folder/brimo-update.exe"
    check_icon "$1"
    local binary
    while IFS= read -r binary; do
        check_binary "$binary"
    done < <(shipped_binaries)
    check_signature "$1"
}

# It writes beside itself in Program Files and under HKEY_LOCAL_MACHINE, and
# draws itself at each monitor's own scaling (Windows 10 1703 and later read
# dpiAwareness, earlier ones dpiAware). Windows reads each setting only in
# its own namespace.
check_manifest() {
    local manifest=$scratch/manifest.xml setting namespace element attribute value xpath
    wrestool -x --raw --type=24 --name=1 "$1" >"$manifest"
    xmllint --noout "$manifest" || fail "the manifest is not XML"
    for setting in "urn:schemas-microsoft-com:asm.v3|requestedExecutionLevel|@level|requireAdministrator" \
        "http://schemas.microsoft.com/SMI/2016/WindowsSettings|dpiAwareness||PerMonitorV2, PerMonitor" \
        "http://schemas.microsoft.com/SMI/2005/WindowsSettings|dpiAware||true/pm"; do
        IFS='|' read -r namespace element attribute value <<<"$setting"
        xpath="//*[namespace-uri()='$namespace' and local-name()='$element']${attribute:+/$attribute}"
        [ "$(xmllint --xpath "string($xpath)" "$manifest")" = "$value" ] ||
            fail "the manifest's $element$attribute is not $value"
    done
}

# FILE NAME: the text after NAME in FILE's version resource.
version_string() {
    wrestool -x --raw --type=16 "$1" | iconv -f UTF-16LE -t UTF-8 -c | tr -c '[:print:]' '\n' |
        awk -v name="$2" 'NF && previous ~ name "$" { print; exit } NF { previous = $0 }'
}

check_version_resource() {
    local file=$1 description=$2 pair
    for pair in "ProductName|Brimo update utility" "FileDescription|$description" \
        "ProductVersion|$version" "CompanyName|Brimo"; do
        [ "$(version_string "$file" "${pair%%|*}")" = "${pair#*|}" ] ||
            fail "${file##*/}: ${pair%%|*} is not ${pair#*|}"
    done
}

# Every size from 16 to 256 pixels, for the taskbar, the shortcuts and Explorer.
check_icon() {
    rm -rf "$scratch/icons" && mkdir "$scratch/icons"
    wrestool -x --type=14 -o "$scratch/icons" "$1"
    local sizes
    sizes=$(icotool -l "$scratch"/icons/*.ico | sed -n 's/.*--width=\([0-9]*\).*/\1/p' | sort -n | uniq | xargs)
    [[ " $sizes " == *" 16 "* && " $sizes " == *" 32 "* && " $sizes " == *" 48 "* &&
        " $sizes " == *" 256 "* ]] || fail "${1##*/}: icon sizes $sizes"
}

check_signature() {
    osslsigncode verify -CAfile "$signing/cert.pem" -in "$1" >/dev/null 2>&1 ||
        fail "not signed: ${1##*/}"
}

# Signed, without debug data, importing only shipped or Windows' own libraries.
check_binary() {
    local binary=$1 name=${1#"$folder"/} library shipped
    check_signature "$binary"
    ! x86_64-w64-mingw32-objdump -h "$binary" | grep -q ' \.debug' || fail "$name keeps debug data"
    shipped=" $(cd "$folder" && ls -- *.dll | tr '[:upper:]' '[:lower:]' | xargs) "
    while IFS= read -r library; do
        [[ $shipped == *" $library "* || $system_libraries == *" ${library%.dll} "* ||
            $library == api-ms-win-* ]] || fail "$name imports $library, which is not there"
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p' |
        tr '[:upper:]' '[:lower:]')
}

# The Windows process behind the utility's window, once it is ours.
window_process() {
    local id pid
    id=$(utility_windows | head -n 1)
    [ -n "$id" ] || return 1
    pid=$(xprop -id "$id" _NET_WM_PID | sed -n 's/.* = //p')
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" || return 1
    echo "$pid"
}

check_started_from_start_menu() {
    step "The installed utility, started through its Start menu shortcut, opens its window"
    "$loader" start "$start_menu_link" || fail "the shortcut did not start ($?)"
    wait_until take_picture "$out/welcome.png" || fail "no window"
    first=$(window_process) || fail "the window's process is not known"
}

check_copies() {
    local program='C:\Program Files\Brimo\brimo-update.exe' second
    step "A second copy ends at once"
    timeout 60 "$loader" "$program" || fail "the second copy ended with $?"
    if ! kill -0 "$first" || ! window_count_is 1; then
        fail "the first copy did not stay alone"
    fi

    step "A copy killed leaves nothing that keeps the next one from starting"
    kill -KILL "$first" 2>/dev/null || true
    wait_until window_count_is 0 || fail "the killed copy's window stays"
    "$loader" "$program" &
    second=$!
    wait_until window_count_is 1 || fail "the next copy opened no window"
    { kill -KILL "$second" && wait "$second"; } 2>/dev/null || true
}

check_uninstall() {
    step "The uninstaller removes all but the user's flash tool"
    run_uninstaller || fail "the uninstaller ended with $?"
    # It runs on from a copy of itself in the temp folder.
    wait_until test ! -e "$folder/Uninstall.exe" || fail "still there: Uninstall.exe"
    [ "$(cd "$folder" && find . -mindepth 1)" = "./$user_tool" ] ||
        fail "left behind: $(cd "$folder" && find . -mindepth 1 -printf '%p ')"
    [ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Brimo update utility.lnk" ] ||
        fail "the Start menu shortcut stays"
    [ ! -e "$desktop" ] || fail "the desktop shortcut stays"
    if registry_values "$entry_key" | grep -q .; then
        fail "the entry stays in the list of installed programs"
    fi
    [ "$(registry_values 'HKLM\Software\Brimo' /reg:32 | wc -l)" -eq 3 ] || fail "the settings are gone"
    rm -rf "$folder"
}

# Anyone may write into a folder made outside Program Files: an uninstaller
# or a flash tool from there would run as an administrator, however signed.
# So nothing of it runs, the installer removes its files, and its flash tool
# stays where it is.
check_upgrade_from_elsewhere() {
    step "The installer over the previous release outside Program Files runs nothing of it," \
        "removes its files and leaves its flash tool there"
    install_previous_release "$1" 'C:\Brimo'
    swap_uninstaller 'C:\Brimo' signed-mark.exe
    run_installer "$2" || fail "the installer ended with $?"
    check_nothing_run
    [ ! -e "$folder/$user_tool" ] || fail "the flash tool was carried into Program Files"
    local left
    left=$(find "$WINEPREFIX/drive_c/Brimo" -mindepth 1 -printf '%P\n' | sort | xargs)
    [ "$left" = "bin bin/$user_tool" ] || fail "left in C:\Brimo: $left"
    [ "$(entry_count)" -eq 1 ] || fail "$(entry_count) entries in the list of installed programs"
    run_uninstaller || fail "the uninstaller ended with $?"
}

# SETUP PREVIOUS_SETUP: all of the above, in order; PREVIOUS_SETUP empty
# where there is no previous release.
run_installer_checks() {
    local setup=$1 previous=$2 first
    desktop="$WINEPREFIX/drive_c/users/Public/Desktop/Brimo update utility.lnk"
    start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
    marks="$WINEPREFIX/drive_c/marks.txt"
    version=$(sed -n 's/.*brimo-update-\(.*\)-setup\.exe$/\1/p' <<<"$setup")
    make_mark_programs
    check_refused_folders "$setup"
    if [ -n "$previous" ]; then
        install_previous_release "$previous" 'C:\Program Files\Brimo'
        check_upgrade "$setup"
    else
        check_first_install "$setup"
    fi
    check_permissions
    check_desktop_shortcut "$setup"
    check_entry
    check_installed_files "$setup"
    check_started_from_start_menu
    check_copies
    check_uninstall
    [ -z "$previous" ] || check_upgrade_from_elsewhere "$previous" "$setup"
}
