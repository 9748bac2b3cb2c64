#!/usr/bin/env bash
# Builds the Debian package and tries it the way a user gets it: lintian, the desktop and
# AppStream validators, then `apt-get install ./vesk_*.deb` into a clean Debian 12 root made
# with debootstrap from Debian's archive, and Vesk's programs run there: the command line, the
# document type, the windows under Xvfb and the box picker with its browser engine.
#
# One line per check ("ok: ..." or "FAIL: ..."); stops at the first failure with a non-zero
# status. Takes minutes, not part of scripts/test.sh. Works as root or through sudo.
#
#   VESK_PACKAGE_BUILD   build folder (default: build-package/ in the repository)
#   VESK_PACKAGE_CACHE   where the pristine Debian root and downloaded packages are kept between
#                        runs (default: /var/cache/vesk-package-check)
#   VESK_PACKAGE_JOBS    parallel compile jobs (default: all cores)
#   VESK_PACKAGE_MIRROR  Debian mirror (default: the one this machine's apt sources use)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${VESK_PACKAGE_BUILD:-$repo/build-package}
cache=${VESK_PACKAGE_CACHE:-/var/cache/vesk-package-check}
jobs=${VESK_PACKAGE_JOBS:-$(nproc)}
suite=bookworm
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
as_root() { "${sudo[@]}" "$@"; }

# check DESCRIPTION COMMAND...: runs the command (or function) with its output kept aside, shown
# on failure. In a subshell of its own outside any condition, so that `set -e` holds inside.
check() {
    local description=$1 status
    shift
    set +e
    (
        set -e
        "$@"
    ) > "$logs/last" 2>&1 < /dev/null
    status=$?
    set -e
    if ((status == 0)); then
        echo "ok: $description"
    else
        echo "FAIL: $description"
        tail -n 40 "$logs/last" | sed 's/^/    /'
        exit 1
    fi
}

# --- Tools -------------------------------------------------------------------------------------

install_tools() {
    local tools=(lintian debootstrap appstream desktop-file-utils dpkg-dev debian-archive-keyring file)
    local missing=() tool status
    for tool in "${tools[@]}"; do
        status=$(dpkg-query -W -f='${Status}' "$tool" 2> /dev/null || true)
        [[ "$status" == "install ok installed" ]] || missing+=("$tool")
    done
    if ((${#missing[@]})); then
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}
all_tools() {
    "$repo/scripts/setup.sh"
    install_tools
}
check "the build's and this script's tools are installed" all_tools

# --- The package -------------------------------------------------------------------------------

build_package() {
    # Debian's hardening flags, as a Debian build of the package would have them; no -g: the
    # package is stripped anyway.
    local flags
    flags=$(cd "$repo" && DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g \
        dpkg-buildflags --export=sh)
    eval "$flags"
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCHMARKS=OFF \
        -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS"
    cmake --build "$build" -j "$jobs"
    rm -f "$build"/vesk_*.deb
    (cd "$build" && cpack -G DEB)
}
check "the package is built (cpack -G DEB in $build)" build_package
deb=$(ls "$build"/vesk_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "    $(basename "$deb"): Depends: $(dpkg-deb -f "$deb" Depends)"

# Lintian tags left alone, each with its reason. No warning is at present: add "tag" lines here,
# with a comment above each, rather than loosening --fail-on. Lintian's infos, which it does not
# show by default, are not checked: binary-has-unneeded-section (.comment, from the compiler; the
# strip CPack does keeps it) and hardening-no-fortify-functions for libexec/vesk/vesk (built with
# _FORTIFY_SOURCE=2 like the rest, but at none of its memcpy, memmove or read calls does the
# compiler know the buffer's size, so none became a checked call).
lintian_suppressed=(
)
lintian_check() {
    local suppress=()
    if ((${#lintian_suppressed[@]})); then
        suppress=(--suppress-tags "$(IFS=,; echo "${lintian_suppressed[*]}")")
    fi
    lintian --fail-on error,warning "${suppress[@]}" "$deb"
}
check "lintian: no errors and no warnings" lintian_check

tree=$logs/tree
dpkg-deb -x "$deb" "$tree"
check "desktop-file-validate vesk.desktop" \
    desktop-file-validate "$tree/usr/share/applications/vesk.desktop"
# --no-net: the home page is not reachable from every machine this runs on.
check "appstreamcli validate the metainfo, with the desktop file beside it" \
    sh -c 'appstreamcli validate --no-net "$1"/usr/share/metainfo/*.metainfo.xml &&
           appstreamcli validate-tree --no-net "$1"' _ "$tree"

# Every program in the package has its libraries in Depends, the libexec ones too.
shlibs_cover_all() {
    local programs=() file needed work
    while IFS= read -r file; do
        file "$file" | grep -q ELF && programs+=("$file")
    done < <(find "$tree" -type f -perm -u+x)
    ((${#programs[@]} == 3)) || { echo "expected 3 programs, found: ${programs[*]}"; return 1; }
    work=$(mktemp -d -p "$logs")
    mkdir "$work/debian"
    printf 'Source: vesk\n\nPackage: vesk\nArchitecture: any\n' > "$work/debian/control"
    needed=$(cd "$work" && dpkg-shlibdeps -O "${programs[@]}" | sed 's/^shlibs:Depends=//')
    # Package names alone, one a line, to compare as plain text.
    names() { tr ',|' '\n\n' | sed 's/(.*)//; s/ //g' | grep . | sort -u; }
    local depends package
    depends=$(dpkg-deb -f "$deb" Depends | names)
    for package in $(names <<< "$needed") \
        libqt6gui6 libqt6svg6 libqt6webenginecore6-bin; do
        # The last three: what is only loaded at run time, plugins and the browser's helper.
        grep -qxF "$package" <<< "$depends" || { echo "missing: $package"; return 1; }
    done
}
check "Depends covers the libraries of bin/vesk and both libexec programs, and the run-time plugins" \
    shlibs_cover_all

# The uninstall tool names every file of the package (run on the unpacked tree, removing nothing).
uninstall_knows_all() {
    local output file unnamed=0
    output=$(HOME=$logs/home XDG_CONFIG_HOME=$logs/home/.config XDG_DATA_HOME=$logs/home/.local/share \
        XDG_CACHE_HOME=$logs/home/.cache XDG_RUNTIME_DIR='' VESK_UNINSTALL_PREFIXES="$tree/usr" \
        bash "$repo/resources/uninstall-tools" --dry-run)
    while IFS= read -r file; do
        grep -qxF "    $tree/$file" <<< "$output" || { echo "not named: /$file"; unnamed=1; }
    done < <(cd "$tree" && find . -type f -printf '%P\n')
    return $unnamed
}
check "uninstall-tools names every file of the package" uninstall_knows_all

# --- A clean Debian 12 -------------------------------------------------------------------------

# The Debian archive this machine's apt uses: "URI SUITE" for bookworm, -updates and -security.
debian_sources() {
    {
        for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [[ -e "$file" ]] || continue
            awk '$1 == "deb" { sub(/\[[^]]*\]/, ""); print $2, $3 }' "$file"
        done
        for file in /etc/apt/sources.list.d/*.sources; do
            [[ -e "$file" ]] || continue
            awk 'BEGIN { RS = ""; FS = "\n" }
                 { uris = ""; suites = ""; enabled = 1
                   for (i = 1; i <= NF; i++) {
                       if ($i ~ /^URIs:/) uris = substr($i, 6)
                       if ($i ~ /^Suites:/) suites = substr($i, 8)
                       if ($i ~ /^Enabled: *no/) enabled = 0 }
                   if (!enabled) next
                   n = split(uris, u, " "); m = split(suites, s, " ")
                   for (a = 1; a <= n; a++) for (b = 1; b <= m; b++) print u[a], s[b] }' "$file"
        done
    } | awk -v suite="$suite" '$2 == suite || $2 == suite "-updates" || $2 == suite "-security"' |
        sort -u
}
mirror=${VESK_PACKAGE_MIRROR:-$(debian_sources | awk -v suite="$suite" '$2 == suite { print $1; exit }')}
mirror=${mirror:-http://deb.debian.org/debian}

pristine=$cache/$suite
root=$cache/work
debs=$cache/debs

# Runs a command in ROOT in a mount namespace of its own, so that /proc, /dev, /dev/shm, /tmp and
# the shared download folder go away with it and nothing stays mounted inside the root.
in_root() {
    local target=$1
    shift
    as_root unshare --mount --propagation private -- sh -c '
        target=$1 debs=$2
        shift 2
        mount -t proc proc "$target/proc" &&
            mount --rbind /dev "$target/dev" &&
            mount -t tmpfs -o mode=1777 tmpfs "$target/dev/shm" &&
            mount -t tmpfs -o mode=1777 tmpfs "$target/tmp" &&
            mount --bind "$debs" "$target/var/cache/apt/archives" &&
            exec chroot "$target" "$@"' _ "$target" "$debs" \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}
# The same, as the unprivileged user "tester" in its home.
as_tester() {
    local target=$1
    shift
    in_root "$target" setpriv --reuid=tester --regid=tester --init-groups \
        env HOME=/home/tester USER=tester LOGNAME=tester "$@"
}

make_pristine() {
    as_root rm -rf "$pristine.new"
    as_root mkdir -p "$debs/partial"
    as_root debootstrap --variant=minbase "$suite" "$pristine.new" "$mirror"
    debian_sources | awk -v mirror="$mirror" -v suite="$suite" '
        { print "deb", $1, $2, "main" } END { if (NR == 0) print "deb", mirror, suite, "main" }' |
        as_root tee "$pristine.new/etc/apt/sources.list" > /dev/null
    # No services start in the root.
    printf '#!/bin/sh\nexit 101\n' | as_root tee "$pristine.new/usr/sbin/policy-rc.d" > /dev/null
    as_root chmod 755 "$pristine.new/usr/sbin/policy-rc.d"
    in_root "$pristine.new" apt-get update -qq
    in_root "$pristine.new" useradd --create-home --shell /bin/bash tester
    as_root touch "$pristine.new/.vesk-pristine"
    as_root rm -rf "$pristine"
    as_root mv "$pristine.new" "$pristine"
}
if [[ -e "$pristine/.vesk-pristine" ]]; then
    echo "ok: a clean Debian 12 root is cached in $pristine"
else
    check "a clean Debian 12 root is made with debootstrap from $mirror" make_pristine
fi

# A fresh copy for every run: the package goes into a root that never had it.
fresh_root() {
    if grep -qE " $root(/| )" /proc/mounts; then
        echo "something is still mounted in $root"
        return 1
    fi
    # Package lists older than a day are read again.
    if [[ -n $(find "$pristine/.vesk-pristine" -mmin +1440) ]]; then
        in_root "$pristine" apt-get update -qq
        as_root touch "$pristine/.vesk-pristine"
    fi
    as_root rm -rf "$root"
    as_root cp -a "$pristine" "$root"
    as_root cp "$deb" "$root/root/"
    as_root cp "$repo/resources/uninstall-tools" "$root/usr/local/bin/vesk-uninstall-tools"
}
check "a fresh copy of the root in $root" fresh_root

check "apt-get install ./$(basename "$deb") resolves its dependencies from the archive" \
    in_root "$root" sh -c 'cd /root && apt-get install -y --no-install-recommends ./vesk_*.deb'

version_check() {
    local said
    said=$(as_tester "$root" vesk --version)
    echo "said: $said"
    [[ "$said" == "Vesk $version" ]]
}
check "vesk --version says Vesk $version" version_check

render_samples() {
    local sample count=0
    for sample in $(in_root "$root" sh -c 'ls /usr/share/vesk/samples/*.vesk'); do
        as_tester "$root" vesk render "$sample" > "$logs/rendered" || return 1
        grep -q '^Vagrant.configure("2") do |config|' "$logs/rendered" ||
            { echo "$sample: no Vagrantfile"; return 1; }
        count=$((count + 1))
    done
    ((count == 4))
}
check "vesk render of each shipped sample (/usr/share/vesk/samples) prints its Vagrantfile" \
    render_samples
check "vesk machines with no machine index" as_tester "$root" vesk machines

# Before any test tool comes in: nothing the programs or the plugins they load need is missing.
libraries_found() {
    in_root "$root" sh -c '
        status=0
        for file in /usr/bin/vesk /usr/libexec/vesk/vesk /usr/libexec/vesk/vesk-boxpicker \
                /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so \
                /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqoffscreen.so \
                /usr/lib/x86_64-linux-gnu/qt6/plugins/xcbglintegrations/libqxcb-glx-integration.so \
                /usr/lib/x86_64-linux-gnu/qt6/plugins/imageformats/libqsvg.so \
                /usr/lib/x86_64-linux-gnu/qt6/plugins/iconengines/libqsvgicon.so \
                /usr/lib/x86_64-linux-gnu/qt6/plugins/tls/libqopensslbackend.so \
                /usr/lib/qt6/libexec/QtWebEngineProcess \
                /usr/share/qt6/resources/qtwebengine_resources.pak; do
            if [ ! -e "$file" ]; then echo "missing: $file"; status=1; continue; fi
            case "$file" in *.pak) continue ;; esac
            missing=$(ldd "$file" | grep "not found" || true)
            if [ -n "$missing" ]; then echo "$file: $missing"; status=1; fi
        done
        exit $status'
}
check "the programs, the Qt plugins and the browser engine's helper are there with their libraries" \
    libraries_found

uninstall_says_apt() {
    as_tester "$root" bash /usr/local/bin/vesk-uninstall-tools --dry-run |
        grep -F "Vesk was installed from the Debian package vesk; remove it with: sudo apt remove vesk"
}
check "uninstall-tools, with the real dpkg, says the package is apt's to remove" uninstall_says_apt

# Test tools only, not dependencies of Vesk.
check "test tools in the root: xdg-utils, shared-mime-info, desktop-file-utils, xvfb" \
    in_root "$root" apt-get install -y --no-install-recommends \
    xdg-utils shared-mime-info desktop-file-utils xvfb xauth

check "update-mime-database and update-desktop-database" \
    in_root "$root" sh -c 'update-mime-database /usr/share/mime &&
                          update-desktop-database /usr/share/applications'
default_application() {
    local said
    said=$(as_tester "$root" xdg-mime query default application/x-vesk)
    echo "said: $said"
    [[ "$said" == vesk.desktop ]]
}
check "xdg-mime query default application/x-vesk says vesk.desktop" default_application

# The windows: started as a desktop starts them (through bin/vesk), on Xvfb's X display, they
# must stay up; Qt names each plugin it loads: the xcb platform and the SVG image format must be
# among them.
windows_stay_up() {
    as_tester "$root" env QT_QPA_PLATFORM=xcb QT_DEBUG_PLUGINS=1 xvfb-run -a -s '-screen 0 1280x1024x24' sh -c '
        vesk > /tmp/windows.log 2>&1 &
        pid=$!
        sleep 3
        if ! kill -0 $pid 2> /dev/null; then
            wait $pid
            echo "the windows ended after less than 3 s, status $?"
            cat /tmp/windows.log
            exit 1
        fi
        kill $pid
        status=0
        for plugin in platforms/libqxcb.so imageformats/libqsvg.so; do
            grep -q "$plugin\" loaded library" /tmp/windows.log || { echo "not loaded: $plugin"; status=1; }
        done
        exit $status'
}
check "the windows (libexec/vesk/vesk through vesk) start under xvfb-run and stay up 3 s" \
    windows_stay_up

# The box picker loads the catalogue in the browser engine, which runs its pages in
# QtWebEngineProcess; a missing helper or resource ends the picker at once. The catalogue host is
# a closed local port: an error page is loaded, which takes the same processes. The root cannot
# give the engine's sandbox the namespaces it wants, so it is off; the package is what is checked.
picker_stays_up() {
    as_tester "$root" env QT_QPA_PLATFORM=xcb QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a -s '-screen 0 1280x1024x24' sh -c '
        /usr/libexec/vesk/vesk-boxpicker --host http://127.0.0.1:9 > /tmp/picker.log 2>&1 &
        pid=$!
        helper=no
        for step in 1 2 3 4 5 6 7 8 9 10; do
            sleep 1
            kill -0 $pid 2> /dev/null || break
            for exe in /proc/[0-9]*/exe; do
                case "$(readlink "$exe" 2> /dev/null)" in */QtWebEngineProcess) helper=yes ;; esac
            done
            [ $helper = yes ] && [ $step -ge 3 ] && break
        done
        if ! kill -0 $pid 2> /dev/null; then
            wait $pid
            echo "the box picker ended early, status $?"
            cat /tmp/picker.log
            exit 1
        fi
        kill $pid
        [ $helper = yes ] || { echo "QtWebEngineProcess was not started"; cat /tmp/picker.log; exit 1; }'
}
check "the box picker (libexec/vesk/vesk-boxpicker) starts QtWebEngineProcess under xvfb-run and stays up" \
    picker_stays_up

echo "All package checks passed for $(basename "$deb") in $SECONDS s"
