# The page's login example runs against the loopback server and starts the fake game client.
set(BX_TEST_PROPERTIES_server_doc_test FIXTURES_REQUIRED http_server
    ENVIRONMENT BX_TEST_SERVER_PORT_FILE=${BX_TEST_SERVER_PORT_FILE})
add_dependencies(server_doc_test fake_game)
target_compile_definitions(server_doc_test PRIVATE BX_FAKE_GAME_EXE="$<TARGET_FILE:fake_game>")
