// The index table: sorting, filtering and finding.
