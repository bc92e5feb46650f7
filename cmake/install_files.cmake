# What an installation holds besides the binaries and the tools: the manual
# pages (English, and Russian for `man -L ru`), bash completion, the licence
# and the notes that go with the program.
install(FILES docs/man/morvalin-cli.1 docs/man/morvalin.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES docs/man/ru/morvalin-cli.1 docs/man/ru/morvalin.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/ru/man1)
install(FILES scripts/completion/morvalin-cli
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES tests/data/NOTICE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME NOTICE.test-data)
