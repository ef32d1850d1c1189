"""What the measuring scripts share: they talk only to servers they start on 127.0.0.1."""

import socket


def free_port(kind=socket.SOCK_STREAM):
    """A port of 127.0.0.1 that is free now, for a server the script is about to start."""
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]
