# Installing like a desktop application, and a Debian package of that installation.
#   cmake --install build [--prefix /usr]     scripts/package (a .deb through CPack)
# The usage guide (Chinese, and English) goes to <prefix>/share/plumfinch, where an installed program in
# <prefix>/bin looks for it.
include(GNUInstallDirs)
set(_share ${CMAKE_INSTALL_DATADIR})
set(_icons ${_share}/icons/hicolor)

install(TARGETS plumfinch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES res/help/usage.html res/help/usage_en.html DESTINATION ${_share}/plumfinch)
install(FILES res/desktop/plumfinch.desktop DESTINATION ${_share}/applications)
install(FILES res/desktop/org.example.plumfinch.metainfo.xml DESTINATION ${_share}/metainfo)
install(FILES res/icons/plumfinch.svg DESTINATION ${_icons}/scalable/apps)
foreach(_size 16 22 24 32 48 64 128)
  install(FILES res/icons/plumfinch-${_size}.png DESTINATION ${_icons}/${_size}x${_size}/apps
          RENAME plumfinch.png)
endforeach()

# The manual page and Debian's changelog, compressed as Debian wants them: gzip -9n
# (no file name, no time stamp).
set(_gz)
foreach(_file plumfinch.1 debian/changelog)
  get_filename_component(_name ${_file} NAME)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/packaging/${_name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/${_file}
            ${CMAKE_BINARY_DIR}/packaging/${_name}
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/${_name}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${_file} VERBATIM)
  list(APPEND _gz ${CMAKE_BINARY_DIR}/packaging/${_name}.gz)
endforeach()
add_custom_target(packaging_gz ALL DEPENDS ${_gz})
install(FILES ${CMAKE_BINARY_DIR}/packaging/plumfinch.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${_share}/doc/plumfinch)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME plumfinch)
set(CPACK_PACKAGE_VENDOR "Plumfinch developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Plumfinch developers <plumfinch@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Plumfinch developers <plumfinch@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://plumfinch.example.org/")
# Library dependencies come from dpkg-shlibdeps, and the Qt platform plugin for X comes
# with libqt6gui6. The icon comes from PNG renderings at the usual sizes; any other size
# is drawn from the SVG through the SVG icon engine plugin of libqt6svg6, which no linked
# library names. libcurl is opened on first use (dlopen of libcurl.so.4), so no linked
# library names it either.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libcurl4")
# The windows are in Chinese: a CJK font; a colour emoji font, without which emoji in
# statuses, names and alerts show as empty boxes; and xdg-open for the browser.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-wqy-microhei | fonts-noto-cjk, fonts-noto-color-emoji, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "post one status to several micro-blog services at once
Plumfinch binds accounts on five services: Tencent Weibo, Sina Weibo,
Sohu Weibo and Twitter through OAuth 1.0, and Mastodon (or any server
that speaks its API) with a code from the server's authorisation page.
It posts a status, with a picture if wanted, to all the ticked services
with one click. In the background it polls Tencent, Sina, Sohu and
Mastodon for new messages, mentions, posts and followers and announces
each in a small popup. It lives in the notification area, can start
hidden at logon, and can route its traffic through an HTTP, SOCKS4 or
SOCKS5 proxy. Of the five, only Mastodon can still be used: the others
have closed or no longer serve the endpoints the program uses.")
include(CPack)
