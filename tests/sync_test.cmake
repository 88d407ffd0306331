set(BX_TEST_PROPERTIES_sync_test FIXTURES_REQUIRED http_server
    ENVIRONMENT BX_TEST_SERVER_PORT_FILE=${BX_TEST_SERVER_PORT_FILE})
# Fixture programs that the tests start beside themselves.
add_dependencies(sync_test sync_runner file_holder)
