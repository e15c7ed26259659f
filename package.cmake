# The Debian package, made by `cpack -G DEB` in a release build configured with -DMARCPY_FHS=ON
# (scripts/package.sh): marc-pinyin_VERSION_ARCH.deb, the programs in /usr/bin, py.db in
# /usr/share/marc-pinyin, the menu entry, the MIME type, the icon and the manual pages. The
# desktop's caches (MIME types, menus, icons, manual pages) are brought up to date by dpkg's file
# triggers of the packages that own them; the package needs no scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marc-pinyin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "marc-pinyin maintainers <maintainers@users.noreply.c-seed-effc8303.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "add pinyin to the Chinese fields of CNMARC records")
set(CPACK_PACKAGE_DESCRIPTION
  "A batch tool for library cataloguers: it reads CNMARC records (ISO 2709;
GBK, GB18030 or UTF-8), adds a pinyin romanisation of the Chinese text of
chosen fields as an extra subfield A or 9, and appends every record, rebuilt,
to an output file; every other byte is kept as it was. Characters with
several readings are resolved by the words around them, by their first
reading, or by the cataloguer. marc-pinyin is the window (Qt 6),
marc-pinyin-cli the command line.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Depends: the shared libraries the programs link (dpkg-shlibdeps, from dpkg-dev), and what Qt
# loads at run time: the platform plugins (a window at all) and the SVG plugins (the icon).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(MARCPY_GUI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6")
  # Qt's own dialogs in Chinese, and a font with every GBK character.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
endif()
include(CPack)
