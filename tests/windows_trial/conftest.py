def pytest_addoption(parser):
    parser.addoption("--installer", required=True, help="the Windows installer to try")
    parser.addoption("--linux-program", required=True,
                     help="the Linux program whose file the Windows one must equal")
    parser.addoption("--shots", required=True, help="folder for the screenshots")
