from tolm.cli import main

raise SystemExit(main())
