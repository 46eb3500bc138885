# The HTML API documentation of kelvaro.ZELT, written by javadoc from the
# jar's sources into ${CMAKE_BINARY_DIR}/runtime/java/javadoc. This is the
# packaging's own rule for as long as runtime/java defines no
# kelvaro_zelt_javadoc target; once it does, that target is used instead.
#
# -noindex leaves out the index and the search page, and with them the
# jQuery copies javadoc would otherwise embed; --legal-notices none leaves
# out the JDK's notices for them. Documentation comments are not linted
# here (-Xdoclint:none): that check belongs to the runtime's build.
if(NOT TARGET kelvaro_zelt_javadoc)
  find_package(Java 17 REQUIRED COMPONENTS Development)
  if(NOT Java_JAVADOC_EXECUTABLE)
    message(FATAL_ERROR "javadoc not found: the runtime's API documentation needs the JDK's javadoc")
  endif()
  set(zelt_src ${PROJECT_SOURCE_DIR}/runtime/java/src)
  set(zelt_api ${CMAKE_BINARY_DIR}/runtime/java/javadoc)
  file(GLOB_RECURSE zelt_doc_sources CONFIGURE_DEPENDS ${zelt_src}/*.java)
  add_custom_command(
    OUTPUT ${zelt_api}/index.html
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${zelt_api}
    COMMAND ${Java_JAVADOC_EXECUTABLE} -quiet -Xdoclint:none -notimestamp -noindex
            --legal-notices none --release 17 -encoding UTF-8 -charset UTF-8
            -doctitle "kelvaro.ZELT ${PROJECT_VERSION}"
            -windowtitle "kelvaro.ZELT ${PROJECT_VERSION}"
            -sourcepath ${zelt_src} -d ${zelt_api} kelvaro.ZELT
    DEPENDS ${zelt_doc_sources}
    COMMENT "Writing the kelvaro.ZELT API documentation"
    VERBATIM)
  add_custom_target(kelvaro_zelt_javadoc DEPENDS ${zelt_api}/index.html)
endif()
