tk_add_test(transfer_tests transfer/transfer_test.cpp transfer/retry_test.cpp)
target_link_libraries(transfer_tests PRIVATE ntdll)
