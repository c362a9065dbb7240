INSERT INTO audit_entry (actor, action, target) VALUES
  ('installer', 'create', 'audit.db');
