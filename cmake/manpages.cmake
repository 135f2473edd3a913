# Manual pages, English and Japanese, printed by the programs themselves from the same
# usage text as their --help, so the two cannot drift apart.
set(TESSALY_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(MAN_OUTPUTS)
foreach(prog tessaly tessaly-cli)
  foreach(lang en ja)
    set(page ${TESSALY_MAN_DIR}/${lang}/${prog}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${TESSALY_MAN_DIR}/${lang}
      COMMAND sh -c "\"$1\" --man-page ${lang} > \"$2\" && gzip -9nf \"$2\"" sh $<TARGET_FILE:${prog}> ${page}
      DEPENDS ${prog} VERBATIM)
    list(APPEND MAN_OUTPUTS ${page}.gz)
  endforeach()
  install(FILES ${TESSALY_MAN_DIR}/en/${prog}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${TESSALY_MAN_DIR}/ja/${prog}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
endforeach()
add_custom_target(manpages ALL DEPENDS ${MAN_OUTPUTS})
