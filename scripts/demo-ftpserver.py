#!/usr/bin/python3
# The demo's FTP server: pyftpdlib on 127.0.0.1, one user with write access to
# ROOT. Writes the port it listens on to PORTFILE, then serves until killed.
# Usage: demo-ftpserver.py ROOT PORTFILE USER PASSWORD
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root, port_file, user, password = sys.argv[1:5]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    # Active mode only reaches back to the client's own address.
    handler.permit_foreign_addresses = False
    # Every command and reply, for a look at ftp-server.log after a failed demo.
    logging.basicConfig(level=logging.DEBUG, format="%(asctime)s %(message)s")
    server = FTPServer(("127.0.0.1", 0), handler)
    port = server.socket.getsockname()[1]
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
