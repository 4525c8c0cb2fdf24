#!/usr/bin/env bash
# Installs the Debian packages Tessary needs, only those that are missing.
# Usage: scripts/setup.sh [GROUP...]   groups: build (default), browser, audit, screenshots, fuzz, format,
#        bench, packaging
set -euo pipefail

declare -A groups=(
    [build]="g++ cmake make pkg-config libjpeg62-turbo-dev libpugixml-dev libexiv2-dev qt6-base-dev libgtest-dev
             dpkg-dev file man-db desktop-file-utils appstream"
    [browser]="chromium python3"
    [audit]="chromium nodejs npm python3"
    [screenshots]="xvfb xauth fonts-dejavu-core"
    [fuzz]="clang libclang-rt-14-dev"
    [format]="clang-format"
    [bench]="libjpeg-turbo-progs"
    # Debian's checker for the packages of make deb; the install test runs it when present.
    [packaging]="lintian"
)

wanted=()
for group in "${@:-build}"; do
    if [[ -z "${groups[$group]+set}" ]]; then
        echo "setup: unknown group '$group' (known: ${!groups[*]})" >&2
        exit 2
    fi
    # shellcheck disable=SC2206
    wanted+=(${groups[$group]})
done

missing=()
for pkg in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}" >&2
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "setup: these packages are missing and I am neither root nor able to use sudo: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet; refresh them once if the install fails.
if ! "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
