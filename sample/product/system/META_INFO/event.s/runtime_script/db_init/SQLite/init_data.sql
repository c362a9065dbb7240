INSERT INTO event_type (code, source, severity, description) VALUES
  ('platform.installed', 'platform', 'info', 'The product databases were created'),
  ('platform.site_added', 'platform', 'info', 'A site was added');

INSERT INTO event (event_id, code, occurred_at, detail)
  SELECT uuid(), 'platform.installed', utc_now(), 'SampleProduct ' || version
  FROM platform.product_version WHERE component = 'SampleProduct';

INSERT INTO event (event_id, code, occurred_at, detail)
  SELECT uuid(), 'platform.site_added', utc_now(), name FROM platform.site;
