# The lock's holder runs on a std::thread of the test's own.
target_link_libraries(game_folder_lock_test PRIVATE Threads::Threads)
