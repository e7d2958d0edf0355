#!/usr/bin/python3
"""Loopback web servers of the web delivery tests.

  web_server.py --port N --outdir DIR --mode upload|mantis|bugzilla|fogbugz|hostile [options]

Every request is written to DIR/requests.txt as a block:
  REQUEST <method> <path with query>
  HEADER <Name>: <value>
  FIELD <name>=<value, with \\ \r \n escaped>
  FILE <field> <file name> <size>       (the bytes are kept in DIR/files/<n>-<file name>)
  END
The trackers keep their entries in DIR/bugs.txt ("<id>|<status>|<title>|<attachments>").
Prints READY when it listens."""

import argparse
import html
import os
import re
import ssl
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LOCK = threading.Lock()
ARGS = None
BUGS = []  # dicts: id, status, title, attachments, description
FILE_COUNT = [0]


def escape(value):
    return value.replace('\\', '\\\\').replace('\r', '\\r').replace('\n', '\\n')


def parse_multipart(body, boundary):
    fields, files = [], []
    marker = b'--' + boundary
    for chunk in body.split(marker)[1:]:
        if chunk.startswith(b'--'):
            break
        chunk = chunk[2:] if chunk.startswith(b'\r\n') else chunk
        head, _, content = chunk.partition(b'\r\n\r\n')
        if content.endswith(b'\r\n'):
            content = content[:-2]
        disposition = ''
        for line in head.decode('latin-1').split('\r\n'):
            if line.lower().startswith('content-disposition:'):
                disposition = line
        name = re.search(r'\bname="([^"]*)"', disposition)
        filename = re.search(r'\bfilename="([^"]*)"', disposition)
        name = name.group(1) if name else ''
        if filename:
            files.append((name, filename.group(1), content))
        else:
            fields.append((name, content.decode('utf-8', 'replace')))
    return fields, files


def save_bugs():
    with open(os.path.join(ARGS.outdir, 'bugs.txt'), 'w') as out:
        for bug in BUGS:
            out.write('%d|%s|%s|%s\n' % (bug['id'], bug['status'], bug['title'], ','.join(bug['attachments'])))


def find_bug(number):
    for bug in BUGS:
        if str(bug['id']) == str(number):
            return bug
    return None


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    # --- request reading and recording ---
    def read_request(self):
        url = urllib.parse.urlsplit(self.path)
        self.page = url.path.rsplit('/', 1)[-1]
        self.query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        self.form = dict(self.query)
        fields, files = list(urllib.parse.parse_qsl(url.query, keep_blank_values=True)), []
        length = int(self.headers.get('Content-Length') or 0)
        body = self.rfile.read(length) if length else b''
        kind = self.headers.get('Content-Type') or ''
        if kind.startswith('multipart/form-data'):
            boundary = kind.split('boundary=', 1)[1].strip().encode()
            more, files = parse_multipart(body, boundary)
            fields += more
        elif body:
            fields += urllib.parse.parse_qsl(body.decode('latin-1'), keep_blank_values=True)
        for name, value in fields:
            self.form[name] = value
        self.files = files
        with LOCK:
            os.makedirs(os.path.join(ARGS.outdir, 'files'), exist_ok=True)
            with open(os.path.join(ARGS.outdir, 'requests.txt'), 'a') as log:
                log.write('REQUEST %s %s\n' % (self.command, self.path))
                for name, value in self.headers.items():
                    log.write('HEADER %s: %s\n' % (name, value))
                for name, value in fields:
                    log.write('FIELD %s=%s\n' % (name, escape(value)))
                for field, filename, content in files:
                    FILE_COUNT[0] += 1
                    saved = '%d-%s' % (FILE_COUNT[0], os.path.basename(filename) or 'unnamed')
                    with open(os.path.join(ARGS.outdir, 'files', saved), 'wb') as out:
                        out.write(content)
                    log.write('FILE %s %s %d\n' % (field, filename or '-', len(content)))
                log.write('END\n')

    def reply(self, status, text, headers=(), reason=None):
        data = text.encode('utf-8') if isinstance(text, str) else text
        self.send_response(status, reason)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.send_header('Content-Length', str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def redirect(self, target, status=302):
        self.reply(status, '<html>moved</html>', [('Location', target)])

    def logged_in(self):
        return 'session=ok' in (self.headers.get('Cookie') or '')

    def login_cookie(self):
        return [('Set-Cookie', 'session=ok; Path=/')]

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def handle_any(self):
        self.read_request()
        if ARGS.mode == 'hostile':
            self.mode_hostile()  # may sleep: without the lock, so that the others go on
            return
        with LOCK:
            getattr(self, 'mode_' + ARGS.mode)()

    # --- plain upload ---
    def mode_upload(self):
        if ARGS.basic:
            import base64
            expected = 'Basic ' + base64.b64encode(ARGS.basic.encode()).decode()
            if self.headers.get('Authorization') != expected:
                self.reply(401, 'who are you', [('WWW-Authenticate', 'Basic realm="upload"')], 'Unauthorized')
                return
        if self.command != 'POST' or not self.files:
            self.reply(400, 'no file', reason='No File Here')
            return
        self.reply(200, 'stored %d files' % len(self.files))

    # --- hostile pages ---
    def mode_hostile(self):
        kind = ARGS.hostile
        if kind == 'huge':
            chunk = b'<input name="x" value="' + b'a' * 65536 + b'">'
            total = 64 << 20
            self.send_response(200)
            self.send_header('Content-Length', str(total))
            self.end_headers()
            try:
                sent = 0
                while sent < total:
                    self.wfile.write(chunk)
                    sent += len(chunk)
            except OSError:
                pass
        elif kind == 'truncated':
            self.send_response(200)
            self.send_header('Content-Length', '100000')
            self.end_headers()
            self.wfile.write(b'<html><form><input name="username"')
            self.wfile.flush()
            self.close_connection = True
        elif kind == 'noforms':
            self.reply(200, '<html><body>Nothing to see <select name= <option <<<< </body>')
        elif kind == 'loop':
            self.redirect(self.path)
        elif kind == 'silent':
            import time
            time.sleep(30)
        elif kind == 'refreshloop':
            self.reply(200, '<html>again</html>', [('Refresh', '0; URL=' + self.path.rsplit('/', 1)[-1])])

    # --- Mantis ---
    def mode_mantis(self):
        p, f = self.page, self.form
        if p == 'login.php':
            if f.get('username') == ARGS.login and f.get('password') == ARGS.password:
                self.reply(302, '', [('Location', f.get('return', 'my_view_page.php'))] + self.login_cookie())
            else:
                self.redirect('login_page.php?error=1')
            return
        if p == 'login_page.php':
            self.reply(200, '<html><form action="login.php"><input name="username"></form></html>')
            return
        if not self.logged_in():
            self.redirect('login_page.php')
            return
        projects = ''.join('<option value="%d">%s</option>' % (i + 1, html.escape(n))
                           for i, n in enumerate(ARGS.projects))
        if p == 'login_select_proj_page.php':
            self.reply(200, '<form method="post" action="set_project.php"><select name="project_id">'
                       '<option value="0" selected="selected">All Projects</option>%s</select></form>' % projects)
        elif p == 'set_project.php':
            number = int(f.get('project_id') or 0)
            self.server.project = ARGS.projects[number - 1] if 0 < number <= len(ARGS.projects) else ''
            self.redirect('my_view_page.php')
        elif p == 'my_view_page.php':
            options = ''.join('<option value="%d"%s>%s</option>' % (
                i + 1, ' selected="selected"' if n == getattr(self.server, 'project', '') else '', html.escape(n))
                for i, n in enumerate(ARGS.projects) if n == getattr(self.server, 'project', ''))
            self.reply(200, '<form><select name="project_id">%s</select></form>My view' % options)
        elif p == 'view_all_set.php':
            self.server.search = f.get('search', '')
            self.redirect('view_all_bug_page.php')
        elif p == 'view_all_bug_page.php':
            rows = ''.join('<tr><td><a href="bug_update_page.php?bug_id=%d">edit</a></td><td>%s</td></tr>' % (
                b['id'], html.escape(b['title'])) for b in BUGS if self.server.search in b['title'])
            self.reply(200, '<form><input type="submit" name="reset_query_button" value="Reset"></form>'
                       '<table>%s</table>' % rows)
        elif p == 'bug_report_advanced_page.php':
            self.reply(200, '''<form method="post" enctype="multipart/form-data" action="bug_report.php">
<input type="hidden" name="m_id" value="0"/><input type="hidden" name="project_id" value="1"/>
<select name="handler_id"><option value="0" selected="selected"></option><option value="7">ada</option></select>
<select name="category"><option value="1" selected>General</option><option value="2">Crashes</option></select>
<select name="severity"><option value="10">feature</option><option value="50" selected="selected">minor</option></select>
<select name="priority"><option value="20">low</option><option value="30" selected="selected">normal</option></select>
<input type="text" name="platform" value="PC"/><input type="checkbox" name="report_stay" value="1"/>
<input name="file" type="file" /></form>''')
        elif p == 'bug_report.php':
            bug = {'id': len(BUGS) + 1, 'status': '10', 'title': f.get('summary', ''),
                   'attachments': [fn for (_, fn, _) in self.files]}
            BUGS.append(bug)
            save_bugs()
            self.reply(200, 'Operation successful. <a href="view.php?id=%d">View</a>' % bug['id'])
        elif p == 'bug_update_page.php':
            bug = find_bug(f.get('bug_id'))
            if not bug:
                self.reply(200, 'no such issue')
                return
            self.reply(200, '''<form method="post" action="bug_update.php">
<input type="hidden" name="bug_id" value="%d"/><input type="hidden" name="update_mode" value="1"/>
<select name="category"><option value="2" selected>Crashes</option></select>
<select name="severity"><option value="50" selected>minor</option></select>
<select name="reproducibility"><option value="10" selected>always</option></select>
<select name="reporter_id"><option value="3" selected>ada</option></select>
<select name="view_state"><option value="10" selected>public</option></select>
<select name="handler_id"><option value="0" selected></option></select>
<select name="priority"><option value="30" selected>normal</option></select>
<select name="resolution"><option value="10" selected>open</option></select>
<select name="status"><option value="10"%s>new</option><option value="80"%s>resolved</option></select>
<input type="text" name="summary" value="%s"/>
<textarea name="description">The program stopped &amp; said so.</textarea>
<textarea name="additional_information"></textarea><textarea name="bugnote_text"></textarea></form>''' % (
                bug['id'], ' selected' if bug['status'] == '10' else '', ' selected' if bug['status'] == '80' else '',
                html.escape(bug['title'], quote=True)))
        elif p == 'bug_update.php':
            bug = find_bug(f.get('bug_id'))
            if bug:
                bug['title'] = f.get('summary', '')
                save_bugs()
            self.reply(200, 'Updated <a href="view.php?id=%s">View</a>' % f.get('bug_id'))
        else:
            self.reply(404, 'not here', reason='Not Found')

    # --- BugZilla ---
    def mode_bugzilla(self):
        p, f = self.page, self.form
        if p == 'enter_bug.cgi' and self.command == 'POST' and 'Bugzilla_login' in f:
            if f.get('Bugzilla_login') == ARGS.login and f.get('Bugzilla_password') == ARGS.password:
                self.reply(200, '<a href="relogin.cgi">Log out</a> Enter a bug', self.login_cookie())
            else:
                self.reply(200, '<form><input name="Bugzilla_login"></form> Invalid login', reason='OK')
            return
        if not self.logged_in():
            self.reply(200, 'Please log in first')
            return
        if p == 'buglist.cgi':
            rows = ''.join('<a href="show_bug.cgi?id=%d">%s</a>' % (b['id'], html.escape(b['title']))
                           for b in BUGS if f.get('content', '') in b['title'])
            self.reply(200, '<a href="query.cgi?format=advanced">Edit search</a>%s' % rows)
        elif p == 'enter_bug.cgi':
            if f.get('product') not in ARGS.projects:
                self.reply(200, 'That product does not exist.')
                return
            self.reply(200, '''<form name="Create" method="post" action="post_bug.cgi">
<input type="hidden" name="product" value="%s">
<select name="version"><option selected>1.0</option></select>
<select name="component"><option selected value="Core">Core</option></select>
<select name="rep_platform"><option value="All" selected>All</option></select>
<select name="op_sys"><option value="Linux" selected>Linux</option></select>
<select name="priority"><option value="P3" selected>P3</option></select>
<select name="bug_severity"><option value="normal" selected>normal</option></select>
<select name="target_milestone"><option value="---" selected>---</option></select>
<input type="hidden" name="bug_status" value="NEW"><input name="qa_contact" value=""><input name="cc" value="">
<input name="estimated_time" value="0.0"><input name="deadline" value=""><input name="bug_file_loc" value="http://">
<input name="keywords" value=""><input name="dependson" value=""><input name="blocked" value=""></form>''' % html.escape(f['product']))
        elif p == 'post_bug.cgi':
            bug = {'id': len(BUGS) + 1, 'status': 'NEW', 'title': f.get('short_desc', ''), 'attachments': []}
            BUGS.append(bug)
            save_bugs()
            self.reply(200, 'Bug %d submitted <a href="show_bug.cgi?id=%d">show</a>'
                       '<form><input type="hidden" name="id" value="%d"></form>' % (bug['id'], bug['id'], bug['id']))
        elif p == 'attachment.cgi':
            bug = find_bug(f.get('bugid'))
            if not bug:
                self.reply(200, 'Invalid bug id')
                return
            bug['attachments'] += [fn for (_, fn, _) in self.files]
            save_bugs()
            self.reply(200, 'Attachment created')
        elif p == 'show_bug.cgi':
            bug = find_bug(f.get('id'))
            if not bug:
                self.reply(200, 'Bug does not exist')
                return
            knob = '<input type="radio" name="knob" value="reopen">' if bug['status'] == 'RESOLVED' else ''
            self.reply(200, '''<form name="changeform" method="post" action="process_bug.cgi">
<input type="hidden" name="delta_ts" value="2026-01-01 10:00:00"><input type="hidden" name="longdesclength" value="1">
<input type="hidden" name="id" value="%d"><input name="alias" value="">
<input name="short_desc" value="%s">
<select name="product"><option selected>%s</option></select>
<select name="component"><option selected>Core</option></select>
<input name="newcc" value=""><textarea name="comment"></textarea>%s
<input type="hidden" name="form_name" value="process_bug"></form>''' % (
                bug['id'], html.escape(bug['title'], quote=True), html.escape(ARGS.projects[0]), knob))
        elif p == 'process_bug.cgi':
            bug = find_bug(f.get('id'))
            if bug:
                bug['title'] = f.get('short_desc', '')
                save_bugs()
            self.reply(200, 'Changes submitted <a href="show_bug.cgi?id=%s">back</a>' % f.get('id'))
        else:
            self.reply(404, 'not here', reason='Not Found')

    # --- FogBugz ---
    def mode_fogbugz(self):
        f = self.form
        if self.page != 'default.asp':
            self.reply(404, 'not here', reason='Not Found')
            return
        pre = self.query.get('pre') or f.get('pre')
        if pre == 'preLogon':
            if f.get('sPerson') == ARGS.login and f.get('sPassword') == ARGS.password:
                self.reply(200, '<a href="default.asp?pre=preLogOff">Log Off</a> Welcome', self.login_cookie())
            else:
                self.reply(200, '<form><input name="sPerson"></form> Incorrect password')
            return
        if not self.logged_in():
            self.reply(200, 'Please log on')
            return
        if pre == 'preSearch':
            rows = ''.join('<a href="default.asp?pgx=EV&amp;ixBug=%d">%s</a>' % (b['id'], html.escape(b['title']))
                           for b in BUGS if f.get('searchFor', '') in b['title'])
            self.reply(200, '<a href="default.asp?pg=pgList&amp;searchFor=%s">again</a>%s' % (
                urllib.parse.quote(f.get('searchFor', '')), rows))
        elif pre == 'preSubmitBug':
            number = f.get('ixBug') or '0'
            bug = find_bug(number)
            if bug:
                bug['title'] = f.get('sTitle', '')
            else:
                bug = {'id': len(BUGS) + 1, 'status': 'open', 'title': f.get('sTitle', ''),
                       'attachments': [fn for (_, fn, _) in self.files]}
                BUGS.append(bug)
            save_bugs()
            self.reply(200, 'Saved <a href="default.asp?command=resolve&amp;ixBug=%d">Resolve</a>' % bug['id'])
        elif f.get('pg') == 'pgEditBug':
            projects = ''.join('<option value="%d">%s</option>' % (i + 3, html.escape(n))
                               for i, n in enumerate(ARGS.projects))
            areas = ''.join('<option value="%d">%s: Crashes</option>' % (i + 30, html.escape(n))
                            for i, n in enumerate(ARGS.projects))
            bug = find_bug(f.get('ixBug')) if f.get('command') == 'edit' else None
            if f.get('command') == 'edit' and not bug:
                self.reply(200, 'No such case')
                return
            closed = '<a href="default.asp?pg=pgEditReleaseNotes">notes</a>' if bug and bug['status'] == 'closed' else ''
            self.reply(200, '''<form method="post" action="default.asp?pre=preSubmitBug" enctype="multipart/form-data">
<input type="hidden" name="command" value="%s"><input type="hidden" name="dtTimeStamp" value="1/1/2026">
<input type="hidden" name="ixBug" value="%s"><input type="hidden" name="ixBugEventLatest" value="0">
<input type="hidden" name="ixPersonLastOwner" value="0"><input type="hidden" name="ixDiscussTopic" value="0">
<input type="hidden" name="ixScreenshot" value=""><input type="hidden" name="sOriginalTitle" value="%s">
<input name="sTitle" value="%s">
<select name="ixProject"><option value="1" selected>Inbox</option>%s</select>
<select name="ixArea"><option value="2" selected>Inbox: Misc</option>%s</select>
<select name="ixPersonAssignedTo"><option value="1" selected>Up For Grabs</option><option value="9">Ada Meter</option></select>
<select name="ixCategory"><option value="1" selected>Bug</option></select>
<select name="ixFixFor"><option value="1" selected>Undecided</option></select>
<input name="sDueDate" value=""><input name="sDueTime" value=""><input name="hrsElapsedNew" value="0">
<input type="submit" name="OK" value="OK">%s</form>''' % (
                'edit' if bug else 'new', bug['id'] if bug else '', html.escape(bug['title']) if bug else '',
                html.escape(bug['title'], quote=True) if bug else '', projects, areas, closed))
        else:
            self.reply(200, 'FogBugz home')


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--port', type=int, required=True)
    parser.add_argument('--outdir', required=True)
    parser.add_argument('--mode', required=True)
    parser.add_argument('--cert')
    parser.add_argument('--key')
    parser.add_argument('--basic')
    parser.add_argument('--hostile', default='noforms')
    parser.add_argument('--login', default='ada')
    parser.add_argument('--password', default='secret')
    parser.add_argument('--projects', default='Vetu,Other')
    parser.add_argument('--bug', action='append', default=[], help='status|title of an existing entry')
    ARGS = parser.parse_args()
    ARGS.projects = ARGS.projects.split(',')
    for text in ARGS.bug:
        status, _, title = text.partition('|')
        BUGS.append({'id': len(BUGS) + 1, 'status': status, 'title': title, 'attachments': []})
    os.makedirs(ARGS.outdir, exist_ok=True)
    save_bugs()
    server = ThreadingHTTPServer(('127.0.0.1', ARGS.port), Handler)
    server.daemon_threads = True
    server.search = ''
    server.project = ''
    if ARGS.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.cert, ARGS.key)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print('READY', flush=True)
    server.serve_forever()


if __name__ == '__main__':
    main()
