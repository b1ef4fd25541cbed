# Installation under the prefix and the Debian package (scripts/package).
# The version comes from project(); everything else a desktop needs to know
# about the program is here.

include(GNUInstallDirs)

# The program has no home page, so the package and the AppStream data name
# none. AppStream wants a reverse-DNS id under a domain the project owns; this
# one owns no domain, and a name under anyone else's would claim what is not
# ours. What AppStream accepts for a desktop application without one is the
# name of its desktop entry, the id such applications have always had: a
# validator warns (cid-desktopapp-is-not-rdns), and lets a project lower that
# one warning, which tests/package/check.sh does.
set(VT_APP_ID "veltrana")
set(VT_MAINTAINER "Veltrana maintainers <maintainers@veltrana.example.org>")
# the moment a package of this version was built (SOURCE_DATE_EPOCH fixes it)
string(TIMESTAMP VT_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP VT_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

install(TARGETS veltrana RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/veltrana.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

configure_file(${CMAKE_CURRENT_LIST_DIR}/veltrana.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${VT_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${VT_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# What Debian asks of every package besides its program: the licence in the
# machine-readable copyright format, a changelog and the manual pages (English,
# and Chinese for a zh_CN locale). The changelog and the pages take the version
# and the date from here; gzip -n leaves out the name and time of the file, so
# the same sources make the same bytes.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/veltrana)
set(VT_DOCS)
foreach(doc changelog veltrana.1 veltrana.zh_CN.1)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${doc}.in ${CMAKE_BINARY_DIR}/packaging/doc/${doc} @ONLY)
  set(gz ${CMAKE_BINARY_DIR}/packaging/doc/${doc}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND gzip -9 -n -k -f ${CMAKE_BINARY_DIR}/packaging/doc/${doc}
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/doc/${doc}
    COMMENT "Compressing ${doc}"
    VERBATIM)
  list(APPEND VT_DOCS ${gz})
endforeach()
add_custom_target(veltrana_docs ALL DEPENDS ${VT_DOCS})
install(FILES ${CMAKE_BINARY_DIR}/packaging/doc/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/veltrana)
install(FILES ${CMAKE_BINARY_DIR}/packaging/doc/veltrana.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/packaging/doc/veltrana.zh_CN.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/zh_CN/man1 RENAME veltrana.1.gz)

# The icon is drawn once, as SVG; the theme's fixed sizes are rendered from it
# at build time, so no picture is kept in the repository.
set(VT_ICON_SVG ${CMAKE_CURRENT_LIST_DIR}/veltrana.svg)
install(FILES ${VT_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(VT_RSVG_CONVERT rsvg-convert)
if(VT_RSVG_CONVERT)
  set(VT_ICON_PNGS)
  foreach(size 16 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/veltrana.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
      COMMAND ${VT_RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${VT_ICON_SVG}
      DEPENDS ${VT_ICON_SVG}
      COMMENT "Rendering the ${size}x${size} icon"
      VERBATIM)
    list(APPEND VT_ICON_PNGS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(veltrana_icons ALL DEPENDS ${VT_ICON_PNGS})
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: the icon is installed as SVG only; scripts/setup installs it")
endif()

# The Debian package. Its library dependencies are worked out by
# dpkg-shlibdeps from what the program links; what it loads or reads only at
# run time is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrana)
set(CPACK_PACKAGE_VENDOR "Veltrana maintainers")
set(CPACK_PACKAGE_CONTACT ${VT_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "subtitle timing editor for films (字幕时间轴)")
set(CPACK_STRIP_FILES ON)
# what dpkg-deb itself uses: the package comes out about a fifth smaller than with gzip
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_NAME veltrana)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Chinese glyphs for every caption (the program asks for 宋体, 黑体 and 楷体 and
# takes any CJK font fontconfig offers), Qt's own buttons and dialogs in
# Chinese. libmpv itself brings the decoders and sound outputs it links, and
# the program asks it for software rendering only, so it loads no GPU driver.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-arphic-ukai, fonts-dejavu-core, qt6-translations-l10n")
# the brush face the headings are drawn in (楷体)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-arphic-ukai")
# below the summary line; CPack indents it and marks the empty line as a paragraph break
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Veltrana时间轴 makes and fine-tunes the timing of external film subtitles.
It plays the video, draws the sound track as a waveform with the subtitles
as highlighted spans, and sets, moves, stretches, inserts and deletes time
codes with single keys and the mouse; playback speed and direction follow
the pointer over the picture.

Timelines are read from and written to SRT files, or built line by line
from a plain text file. File tools merge a second subtitle file into a
bilingual one, export texts under the current timing, shift all time codes
and convert a timeline to another frame rate. The interface is Chinese.")
include(CPack)
