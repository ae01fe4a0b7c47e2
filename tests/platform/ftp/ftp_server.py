#!/usr/bin/python3
"""A wholesaler's FTP server for the tests: pyftpdlib on 127.0.0.1, one user, one folder.

It listens on the port given (0: a free one), writes the port it got into --port-file once it listens,
and serves until it is terminated. With --on-upload NAME=SOURCE=ANSWER, receiving the file NAME makes it
copy the local file SOURCE into its folder as ANSWER, the way a wholesaler answers a request.
"""
import argparse
import ctypes
import logging
import os
import shutil
import signal

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--on-upload", action="append", default=[])
    args = ap.parse_args()
    logging.basicConfig(level=logging.ERROR)
    # The server ends with the test that started it, even when that test dies without stopping it
    # (PR_SET_PDEATHSIG = 1).
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM, 0, 0, 0)
    except (OSError, AttributeError):
        pass

    answers = {}
    for rule in args.on_upload:
        name, source, answer = rule.split("=", 2)
        answers[name] = (source, answer)

    class Handler(FTPHandler):
        def on_file_received(self, file):
            rule = answers.get(os.path.basename(file))
            if rule:
                shutil.copyfile(rule[0], os.path.join(args.root, rule[1]))

    auth = DummyAuthorizer()
    auth.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = auth
    Handler.permit_foreign_addresses = False
    Handler.auth_failed_timeout = 0  # a refused login is answered at once
    server = FTPServer(("127.0.0.1", args.port), Handler)
    port = server.socket.getsockname()[1]
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
