tk_add_test(transfer_tests transfer/transfer_test.cpp)
