# The faults a desk sees, the crash loop and two desks kept in step, on the
# real binary under Xvfb.
set(pytest /usr/bin/python3 -m pytest -q -p no:cacheprovider)
set(bar_args --binary $<TARGET_FILE:marglet> --skins ${MARGLET_PROGRAM_DIR}/skins
             --out ${CMAKE_CURRENT_BINARY_DIR})

# Full disks, special files, other programs, a dying X server. They mount,
# chattr and add a user, so they need root and skip themselves without it;
# `make faults` runs only them. Their cases are fixed (no randomness); with
# the crash loop they are the stress suite (`make stress`).
foreach(family Disk Files)
    string(TOLOWER ${family} name)
    add_test(NAME x11_faults_${name}
        COMMAND ${pytest} ${CMAKE_CURRENT_SOURCE_DIR}/test_faults.py::Test${family} ${bar_args})
    # One at a time: they share a test user and fill disks on purpose.
    set_tests_properties(x11_faults_${name} PROPERTIES
        TIMEOUT 900 LABELS "faults;stress" RESOURCE_LOCK marglet_faults)
endforeach()

# Two desks whose notes two Syncthing instances keep in step over loopback, a
# bar on each. Skips only where Syncthing cannot run.
add_test(NAME x11_sync COMMAND ${pytest} ${CMAKE_CURRENT_SOURCE_DIR}/test_sync.py ${bar_args})
set_tests_properties(x11_sync PROPERTIES TIMEOUT 900 LABELS sync SKIP_RETURN_CODE 77)

# A short crash loop with a fixed seed; `make crashloop` and `make stress`
# run the full one.
add_test(NAME x11_crashloop
    COMMAND ${pytest} ${CMAKE_CURRENT_SOURCE_DIR}/test_crashloop.py ${bar_args}
            --runs 20 --seed 20261207)
set_tests_properties(x11_crashloop PROPERTIES TIMEOUT 300 LABELS stress)
