# The test runs a worker on a std::thread of its own.
target_link_libraries(window_threads_test PRIVATE Threads::Threads)
set(BX_TEST_PROPERTIES_window_threads_test FIXTURES_REQUIRED http_server
    ENVIRONMENT BX_TEST_SERVER_PORT_FILE=${BX_TEST_SERVER_PORT_FILE})
