# Run by CPack once the package is made. CPack gives the three members of the .deb (an ar archive)
# the owner and mode of its temporary files, which differ with the user and umask of whoever
# builds; dpkg ignores them, but they would make two builds of one commit differ. They become
# root's and 644, as dpkg-deb writes them.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "\\.deb$")
        continue()
    endif()
    # A member header: name 16, mtime 12, owner 6, group 6, mode 8, size 10, "`\n".
    execute_process(COMMAND perl -e [=[
        open(my $f, '+<:raw', $ARGV[0]) or die "$ARGV[0]: $!\n";
        my ($magic, $header, $at) = ('', '', 8);
        read($f, $magic, 8) == 8 && $magic eq "!<arch>\n" or die "$ARGV[0]: not an ar archive\n";
        while (read($f, $header, 60) == 60) {
            substr($header, 58, 2) eq "`\n" or die "$ARGV[0]: no member header at $at\n";
            seek($f, $at + 28, 0);
            print $f sprintf('%-6s%-6s%-8s', 0, 0, 100644);
            my $size = substr($header, 48, 10) + 0;
            $at += 60 + $size + $size % 2;
            seek($f, $at, 0);
        }
        close($f) or die "$ARGV[0]: $!\n";
        ]=] ${package} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
