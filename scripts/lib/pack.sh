# shellcheck shell=sh
# Packs what a user downloads (sourced by scripts/package and
# tests/packaging/check-packaging.sh):
#   pack BUILD OUT VERSION SYSTEM
#                    from BUILD, a build of version VERSION for SYSTEM (Linux,
#                    win64, win32), serial-send-VERSION-Linux.tar.gz and (by
#                    cpack) serial-send_VERSION_<arch>.deb, or
#                    serial-send-VERSION-SYSTEM.zip
#   pack_sums OUT    SHA256SUMS of the archives in OUT, as sha256sum -c reads it
#   commit_time SOURCE
#                    sets and exports SOURCE_DATE_EPOCH, when unset, to the
#                    time of the commit the checkout SOURCE is at
#
# Every build of the same commit packs to the same bytes, whoever packs it,
# wherever and whenever: every time written is SOURCE_DATE_EPOCH, which the
# caller sets (commit_time), every owner is root, members go in by name, modes
# are rw-r--r-- or rwxr-xr-x whatever the umask. The .deb is cpack's;
# SERIAL_SEND_MAINTAINER, when set, names its maintainer.
# CMAKE and CPACK name the tools to use (default: from PATH).

commit_time() {
    if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
        SOURCE_DATE_EPOCH=$(git -C "$1" log -1 --format=%ct) ||
            { echo "pack: $1 is not a git checkout; set SOURCE_DATE_EPOCH" >&2; return 1; }
        export SOURCE_DATE_EPOCH
    fi
}

pack() {
    pack_build=$1 pack_out=$2 pack_name=serial-send-$3-$4
    [ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "pack: SOURCE_DATE_EPOCH is not set" >&2; return 1; }
    mkdir -p "$pack_out"
    stage=$pack_out/.stage-$pack_name
    rm -rf "$stage"
    # The Linux program is stripped here; the Windows one is linked stripped,
    # and strip would write the time into its header.
    set -- --install "$pack_build" --prefix "$stage/$pack_name"
    case $pack_name in *-Linux) set -- "$@" --strip ;; esac
    "${CMAKE:-cmake}" "$@" >"$stage.log" || { cat "$stage.log" >&2; return 1; }
    find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    case $pack_name in
    *-Linux)
        tar -C "$stage" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
            --mtime="@$SOURCE_DATE_EPOCH" --mode=u=rwX,go=rX -cf - "$pack_name" |
            gzip -9n >"$pack_out/$pack_name.tar.gz"
        set -- --config "$pack_build/CPackConfig.cmake" -B "$pack_out"
        [ -z "${SERIAL_SEND_MAINTAINER:-}" ] ||
            set -- "$@" -D "CPACK_DEBIAN_PACKAGE_MAINTAINER=$SERIAL_SEND_MAINTAINER"
        # cpack takes each mode as it finds it, made under the umask.
        (umask 022 && exec "${CPACK:-cpack}" "$@") >"$stage.log" 2>&1 ||
            { cat "$stage.log" >&2; return 1; }
        rm -rf "$pack_out/_CPack_Packages"
        ;;
    *)
        # zip writes local time; -X leaves out owners and extra times.
        rm -f "$pack_out/$pack_name.zip"
        (cd "$stage" && find "$pack_name" -type f | LC_ALL=C sort |
            TZ=UTC zip -X -9 -q "../$pack_name.zip" -@)
        ;;
    esac
    rm -rf "$stage" "$stage.log"
}

pack_sums() {
    (cd "$1" && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
}
