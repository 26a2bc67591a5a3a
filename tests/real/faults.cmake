# Full disks, special files, other programs, a dying X server. They mount,
# chattr and add a user, so they need root and skip themselves without it;
# `make faults` runs only them. Their cases are fixed (no randomness); with
# the crash loop they are the stress suite (`make stress`).
foreach(family Disk Files)
    string(TOLOWER ${family} name)
    real_test(x11_faults_${name} faults ARGS -k Test${family} LABELS "faults;stress")
    # One at a time: they share a test user and fill disks on purpose.
    set_tests_properties(x11_faults_${name} PROPERTIES TIMEOUT 900 RESOURCE_LOCK marglet_faults)
endforeach()

# Two desks whose notes two Syncthing instances keep in step over loopback, a
# bar on each. Skips only where Syncthing cannot run.
real_test(x11_sync sync LABELS sync)
set_tests_properties(x11_sync PROPERTIES TIMEOUT 900)

# A short crash loop with a fixed seed; `make crashloop` and `make stress`
# run the full one.
real_test(x11_crashloop crashloop ARGS --runs 20 --seed 20261207 LABELS stress)
