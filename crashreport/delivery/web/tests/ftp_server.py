#!/usr/bin/python3
"""A loopback FTP server of the web delivery tests: one user with write access to a folder.

  ftp_server.py --port N --root DIR --user NAME --password TEXT

Prints READY when it listens."""

import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--root', required=True)
    parser.add_argument('--user', required=True)
    parser.add_argument('--password', required=True)
    args = parser.parse_args()
    logging.basicConfig(level=logging.ERROR)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm='elradfmwMT')
    handler = FTPHandler
    handler.authorizer = authorizer
    server = FTPServer(('127.0.0.1', args.port), handler)
    print('READY', flush=True)
    server.serve_forever()


if __name__ == '__main__':
    main()
