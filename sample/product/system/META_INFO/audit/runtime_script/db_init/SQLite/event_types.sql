-- Runs in event.db: the events the audit plug-in raises. event.db's connection
-- loads public.func.sqlite, whatever this plug-in's own setting says.
INSERT INTO event_type (code, source, severity, description) VALUES
  ('audit.login_failed', 'audit', 'warning', 'A sign-in was refused'),
  ('audit.export', 'audit', 'info', 'Audit entries were exported');
