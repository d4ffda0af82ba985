tk_add_test(transfer_tests transfer/transferenv.cpp transfer/diskpath_test.cpp transfer/diskcopy_test.cpp
            transfer/worker_test.cpp)
