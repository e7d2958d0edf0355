#!/usr/bin/python3
"""A loopback SMTP server for the mail tests (aiosmtpd).

Every accepted message is written to OUTDIR as <n>.eml (the data as the
client sent it, dot transparency undone) and <n>.env (envelope sender,
recipients and the login that authenticated, one per line). Each AUTH
attempt appends a line to OUTDIR/auth.log. Prints "READY" once listening
and runs until it is terminated.
"""
import argparse
import os
import signal
import ssl
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Handler:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            n = self.count
        base = os.path.join(self.outdir, str(n))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        login = ""
        if session.authenticated and isinstance(session.auth_data, LoginPassword):
            login = session.auth_data.login.decode()
        with open(base + ".env", "w") as f:
            f.write(envelope.mail_from + "\n")
            f.write(",".join(envelope.rcpt_tos) + "\n")
            f.write(login + "\n")
        return "250 OK"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--outdir", required=True)
    parser.add_argument("--login", default="user")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--auth-require-tls", action="store_true")
    args = parser.parse_args()

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == args.login.encode()
              and auth_data.password == args.password.encode())
        with open(os.path.join(args.outdir, "auth.log"), "a") as f:
            f.write("%s %s\n" % (mechanism, "ok" if ok else "refused"))
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    params = dict(authenticator=authenticator, auth_require_tls=args.auth_require_tls)
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        params["tls_context"] = context
    controller = Controller(Handler(args.outdir), hostname=args.host, port=args.port,
                            server_hostname="mail.test", **params)
    controller.start()
    print("READY", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *a: stop.set())
    signal.signal(signal.SIGINT, lambda *a: stop.set())
    stop.wait()
    controller.stop()


if __name__ == "__main__":
    sys.exit(main())
