# The launch tests start the fake game client.
add_dependencies(game_launch_test fake_game)
target_compile_definitions(game_launch_test PRIVATE BX_FAKE_GAME_EXE="$<TARGET_FILE:fake_game>")
