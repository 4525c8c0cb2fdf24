#!/usr/bin/env bash
# Fetches real photos for `make bench-photos` from Debian's wallpaper packages:
# downloads the packages (not installed), unpacks them and collects their JPEG
# files into FOLDER/photos. skimlet-bench then keeps those of 4 to 20 megapixels.
# Usage: scripts/fetch-bench-photos.sh FOLDER
set -euo pipefail
dest=${1:?usage: fetch-bench-photos.sh FOLDER}
# (lomiri-wallpapers itself holds only PNG files; its 20.04 set has the photos.)
packages=(mate-backgrounds lomiri-wallpapers-20.04 ukui-wallpapers)

mkdir -p "$dest/debs" "$dest/photos"
dest=$(cd "$dest" && pwd)
if [[ $(ls "$dest"/debs/*.deb 2>/dev/null | wc -l) -lt ${#packages[@]} ]]; then
    cd "$dest/debs"
    if ! apt-get download "${packages[@]}"; then
        # A fresh machine may have no package lists yet: refresh them once.
        if [[ $(id -u) -eq 0 ]]; then
            apt-get update
        elif command -v sudo >/dev/null; then
            sudo apt-get update
        else
            echo "fetch-bench-photos: apt-get download failed and I cannot refresh the package lists" >&2
            exit 1
        fi
        apt-get download "${packages[@]}"
    fi
fi

rm -rf "$dest/extracted" "$dest/photos" && mkdir -p "$dest/extracted" "$dest/photos"
for deb in "$dest"/debs/*.deb; do
    dpkg-deb -x "$deb" "$dest/extracted"
done
find "$dest/extracted" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print0 |
    while IFS= read -r -d '' photo; do
        name=$(basename "$photo")
        while [[ -e "$dest/photos/$name" ]]; do name="_$name"; done
        cp "$photo" "$dest/photos/$name"
    done
echo "fetch-bench-photos: $(ls "$dest/photos" | wc -l) JPEG files in $dest/photos" >&2
