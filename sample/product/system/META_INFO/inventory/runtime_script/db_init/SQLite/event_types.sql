-- Runs in event.db: the events the inventory plug-in raises.
INSERT INTO event_type (code, source, severity, description) VALUES
  ('inventory.stock_low', 'inventory', 'warning', 'Stock fell below its minimum'),
  ('inventory.stock_out', 'inventory', 'error', 'An article is out of stock'),
  ('inventory.installed', 'inventory', 'info', 'The inventory plug-in was installed');

INSERT INTO event (event_id, code, occurred_at, detail)
  SELECT uuid(), 'inventory.installed', utc_now(), 'inventory ' || version
  FROM platform.product_version WHERE component = 'inventory';
